#include "core/upgrade/download_log_watch.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

namespace {

const char kPath[] = "/download/rom/12.31.1.1.rom";

TEST(DownloadLogWatch, GetterOfALine) {
  const struct {
    const char* line;
    const char* getter;
  } cases[] = {
      {"10.213.1.7 - - [10/Dec/2026:18:40:00 +0000] \"GET /download/rom/12.31.1.1.rom HTTP/1.0\" "
       "200 4096 \"-\" \"dev\"",
       "10.213.1.7"},
      {"10.213.1.8 - - [t] \"GET /download/rom/12.31.1.1.rom?x=1 HTTP/1.1\" 200 1", "10.213.1.8"},
      // Another image, one whose name only begins like ours, another method, no request.
      {"10.213.1.9 - - [t] \"GET /download/rom/12.30.1.1.rom HTTP/1.0\" 200 1", ""},
      {"10.213.1.9 - - [t] \"GET /download/rom/12.31.1.1.rom.bak HTTP/1.0\" 404 1", ""},
      {"10.213.1.9 - - [t] \"HEAD /download/rom/12.31.1.1.rom HTTP/1.0\" 200 0", ""},
      {"garbage", ""},
      {"", ""},
      {" \"GET /download/rom/12.31.1.1.rom HTTP/1.0\"", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    EXPECT_EQ(CDownloadLogWatch::GetterOf(c.line, kPath), c.getter);
  }
}

// Only lines appended after the watch began count; a half-written line counts once it ends; a
// log that was truncated is read again from its start.
TEST(DownloadLogWatch, ReadsWhatWasAppended) {
  const std::string path =
      (std::filesystem::temp_directory_path() / ("access-" + std::to_string(getpid()) + ".log"))
          .string();
  auto line = [](const std::string& ip) {
    return ip + " - - [t] \"GET /download/rom/12.31.1.1.rom HTTP/1.0\" 200 1 \"-\" \"d\"\n";
  };
  { std::ofstream(path) << line("10.0.0.1"); }
  CDownloadLogWatch watch(path, "12.31.1.1.rom");
  watch.Poll();
  EXPECT_FALSE(watch.Fetched("10.0.0.1")) << "logged before the watch began";
  const std::string second = line("10.0.0.2");
  { std::ofstream(path, std::ios::app) << second.substr(0, 10); }
  watch.Poll();
  EXPECT_FALSE(watch.Fetched("10.0.0.2"));
  { std::ofstream(path, std::ios::app) << second.substr(10); }
  watch.Poll();
  EXPECT_TRUE(watch.Fetched("10.0.0.2"));
  { std::ofstream(path, std::ios::trunc) << line("10.0.0.3"); }
  watch.Poll();
  EXPECT_TRUE(watch.Fetched("10.0.0.3"));
  std::filesystem::remove(path);
  watch.Poll();  // a missing log reads as empty
  EXPECT_FALSE(watch.Fetched("10.0.0.4"));
}

}  // namespace
