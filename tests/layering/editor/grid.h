#pragma once
// Same layer, but a cycle with datalog/.
#include "datalog/log.h"
#include "rom/model.h"
