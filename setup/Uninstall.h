// The uninstall: an install record read back, checked against the installed script's plan
// (RecordCheck.h), and undone.
#pragma once

#include "InstallPlan.h"
#include "InstallRecord.h"
#include "RecordCheck.h"

#include <string>
#include <vector>
