// Identifiers shared by the fly program's resource script and its code.
#pragma once

#define IDI_GNATTER 1
