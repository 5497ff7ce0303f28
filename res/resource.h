// Resource identifiers shared by the launcher's resource script and its code.
#pragma once

#define IDI_APP_ICON 101
#define IDR_FLY_PNG 102
