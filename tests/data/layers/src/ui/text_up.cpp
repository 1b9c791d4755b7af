// A converter that reaches up into the diary.
#include "diary/note.h"
