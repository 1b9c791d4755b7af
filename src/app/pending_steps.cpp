// Members whose folders have not taken them over yet. Each does nothing; the folder that owns a
// member moves its definition there.
#include "app/calendar_dlg.h"
