#include "diary/note.h"
#include "ui/dialog.h"
#include "version.h"
