// A unit that uses much of the logging library in its header-only form. Its
// headers use #pragma once, name each other with <>, and include each other
// inside #if blocks (the -inl.h files, os.h behind a wide-character switch),
// so flattening it with include-once must keep every conditional include right.
#define FMT_HEADER_ONLY
#include <spdlog/async.h>
#include <spdlog/fmt/bin_to_hex.h>
#include <spdlog/fmt/chrono.h>
#include <spdlog/fmt/ostr.h>
#include <spdlog/fmt/ranges.h>
#include <spdlog/sinks/basic_file_sink.h>
#include <spdlog/sinks/ostream_sink.h>
#include <spdlog/sinks/rotating_file_sink.h>
#include <spdlog/sinks/stdout_color_sinks.h>
#include <spdlog/spdlog.h>
#include <spdlog/stopwatch.h>

#include <chrono>
#include <sstream>
#include <string>
#include <vector>

int logEverything(const char* directory) {
  std::ostringstream text;
  auto sink = std::make_shared<spdlog::sinks::ostream_sink_mt>(text);
  spdlog::logger memory("memory", sink);
  memory.set_pattern("%Y-%m-%d %H:%M:%S.%e [%n] [%l] %s:%# %v");
  std::vector<int> values{1, 2, 3};
  memory.info("values {} took {}", values, std::chrono::milliseconds(12));
  memory.warn("bytes {}", spdlog::to_hex(values.begin(), values.end()));
  SPDLOG_LOGGER_INFO(&memory, "from {}", "a macro that carries its file and line");

  auto file = spdlog::basic_logger_mt("file", std::string(directory) + "/basic.log");
  auto rotating =
      spdlog::rotating_logger_mt("rotating", std::string(directory) + "/rotating.log", 4096, 2);
  spdlog::init_thread_pool(64, 1);
  auto async = spdlog::stdout_color_mt<spdlog::async_factory>("async");
  spdlog::stopwatch watch;
  async->info("elapsed {:.3}", watch);
  file->error("code {:#x}", 255);
  rotating->critical("{:>8}", "done");
  spdlog::shutdown();
  return static_cast<int>(text.str().size());
}
