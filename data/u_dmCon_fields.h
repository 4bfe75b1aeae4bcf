#pragma once
#include "platform/pg/FieldType.h"
#include <vector>

// The 65 declared columns of emitent and the 117 of eu.
std::vector<pg::FieldDef> emitentFields();
std::vector<pg::FieldDef> euFields();
