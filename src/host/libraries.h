// The JSON and logging libraries, as the host provides them. A plugin that writes into the
// server's own log sinks must be built against the logging library those sinks were built with:
// the real framework ships nlohmann/json 3.10 and spdlog 0.16 (with its bundled fmt 4.1) in its
// SDK; the simulated host uses the distribution's current ones. This is the one place that
// names their headers; plugin files include it instead.
#pragma once

#if defined(QUILLMARK_REAL_FRAMEWORK)
#include <Logger/Logger.h>
#include <Logger/spdlog/sinks/base_sink.h>

#include <json.hpp>
#else
#include <spdlog/details/os.h>
#include <spdlog/fmt/fmt.h>
#include <spdlog/logger.h>
#include <spdlog/pattern_formatter.h>
#include <spdlog/sinks/base_sink.h>
#include <spdlog/spdlog.h>

#include <nlohmann/json.hpp>
#endif
