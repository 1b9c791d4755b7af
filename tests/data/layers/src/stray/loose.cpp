#include "ui/dialog.h"
