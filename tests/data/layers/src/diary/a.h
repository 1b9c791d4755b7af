#pragma once
#include "diary/b.h"
