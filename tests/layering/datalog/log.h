#pragma once
#include "editor/grid.h"
// A core file with a widget and a simulator header.
#include "datalog/ui/view.h"
#include "sim/engine.h"
