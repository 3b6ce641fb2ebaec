#pragma once
#include "datalog/log.h"
