/* Who makes the program and how to reach them: the one place these texts are written.
   Included by the resource script and by C++ code, so plain preprocessor strings only. */
#pragma once

#include "version.h"
#define QUILL_MAKER_LINE "由 Quillidar 项目制作"
#define QUILL_CONTACT_LINE "联系: quillidar@example.org"
#define QUILL_HOME_TEXT "example.org"
#define QUILL_HOME_URL "https://quillidar.example.org/"
#define QUILL_SUPPORT_MAIL "support@example.org"
