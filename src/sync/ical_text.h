// The sync's files fold header names' case with the calendar layer's UpperAscii.
#pragma once

#include "ical/content_line.h"

using ical::UpperAscii;
