// Everything of the platform core in one include.
#pragma once
#include "platform/core/bitmap.h"
#include "platform/core/exceptions.h"
#include "platform/core/object.h"
#include "platform/core/stream.h"
#include "platform/core/system.h"
#include "platform/core/types.h"
