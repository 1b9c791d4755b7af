/* Who makes the program and how to reach them: the one place these texts are written.
   Included by the resource script and by C++ code, so plain preprocessor strings only. */
#pragma once

#include "version.h"
#define QUILL_MAKER_LINE "由 Quillidar 项目制作"
#define QUILL_CONTACT_LINE "联系: quillidar@example.org"
#define QUILL_HOME_TEXT "example.org"
#define QUILL_HOME_URL "https://quillidar.example.org/"
#define QUILL_SUPPORT_MAIL "support@example.org"
// The maker as the release names it: the programs' VERSIONINFO and the installer's uninstall entry.
#define QUILL_PRODUCT_NAME "Quillidar"
#define QUILL_PUBLISHER "Quillidar 项目"
#define QUILL_COPYRIGHT "Copyright (C) Quillidar 项目"
#define QUILL_DESCRIPTION "Quillidar 日历和日记"
#define QUILL_NOTES_DESCRIPTION "Quillidar 日记命令行工具"
