#pragma once
#include "settings/store.h"
