#pragma once
#include "text/gb18030.h"
