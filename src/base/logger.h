// The plugin's one logger, writing into the server's own log outputs under the name
// "ASA:Quillmark" with the pattern "%D %R [%n][%l] %v", every line ending in CR LF and flushed
// at once. The logging library's headers stay inside logger.cc.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

namespace spdlog {
class logger;
}  // namespace spdlog

namespace quillmark {

inline constexpr char kPluginName[] = "ASA:Quillmark";

// The holder of the plugin's logger; empty until CreatePluginLogger has run, never changed
// after start-up. Any thread.
std::shared_ptr<spdlog::logger>& PluginLogger();

// Creates the logger over a copy of the host's current sinks (GetLogSinks). It is not entered
// in the logging library's registry. Loading thread, once, before the command handler exists.
void CreatePluginLogger();

// Write one finished text, as it is (braces included), at level info, warning or error. Any
// thread; nothing is written before the logger exists.
void LogInfo(const std::string& text);
void LogError(const std::string& text);
// The same at level warning, for what the operator should change or know.
void LogWarning(const std::string& text);
// Writes "<what>: <why>" at level error, for a failure caught on a path that must go on; when
// even that line cannot be made (out of memory), nothing. Any thread.
void LogFailure(std::string_view what, std::string_view why) noexcept;

// Writes `text` at level error into each of the logger's sinks that can take it without
// waiting: one that guards itself with a std::mutex, as the framework's do, which is free now.
// For the end of the process, when another thread may have been stopped holding a sink's lock.
// Returns the number of sinks that did not get the line (all of them when the line cannot be
// made); 0 when there is no logger. Any thread.
std::size_t LogErrorWithoutWaiting(const std::string& text) noexcept;

}  // namespace quillmark
