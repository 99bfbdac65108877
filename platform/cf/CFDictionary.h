// Dictionaries are declared with the arrays.
#pragma once

#include "platform/cf/CFArray.h"
