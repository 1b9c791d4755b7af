#pragma once
#include "diary/a.h"
