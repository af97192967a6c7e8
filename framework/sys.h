// Everything the framework core offers, in one include.
#pragma once

#include "framework/log.h"
#include "framework/memory.h"
#include "framework/options.h"
#include "framework/clock.h"
#include "framework/thread.h"
#include "framework/list.h"
#include "framework/strings.h"
#include "framework/file.h"
#include "framework/module.h"
#include "framework/base.h"
#include "framework/sysinfo.h"
#include "framework/net.h"
