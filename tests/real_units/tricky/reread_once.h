#pragma once
#include "reread_guarded.h"
