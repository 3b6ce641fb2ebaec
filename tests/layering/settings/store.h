#pragma once
// Back edge: the bottom layer reaching up.
#include "rom/model.h"
