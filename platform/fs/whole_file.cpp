#include "platform/fs/whole_file.h"

#include <atomic>
#include <chrono>
#include <cstring>
#include <random>
#include <string>
#include <thread>

#include "platform/fs/file_api.h"
#include "platform/text/ascii_case.h"

namespace platform::fs {

constexpr char kTemporaryMark[] = ".~";

// A tag per process and a counter per call: two processes or threads writing the same
// file never share a temporary name.
std::string temporaryNameBeside(std::string_view target) {
  static const unsigned long long processTag = std::random_device{}() * 0x100000001ull ^ std::random_device{}();
  static std::atomic<unsigned long long> counter{0};
  return std::string(target) + kTemporaryMark + std::to_string(processTag % 1000000007ull) + "-" +
         std::to_string(++counter);
}

bool isTargetOrTemporary(std::string_view name, std::string_view target) {
  if (name.size() < target.size() || !text::equalsNoCase(name.substr(0, target.size()), target)) return false;
  return name.size() == target.size() || name.substr(target.size()).starts_with(kTemporaryMark);
}

namespace {

constexpr int kReplaceAttempts = 50;
constexpr auto kReplacePause = std::chrono::milliseconds(2);

std::unique_ptr<std::uint8_t[]> uninitializedBytes(std::size_t count) {
  return std::unique_ptr<std::uint8_t[]>(new std::uint8_t[count]);  // default-initialised: not cleared
}

}  // namespace

void prepareWholeFile(WholeFile& file, std::size_t room, std::size_t expected) {
  file.room = room;
  file.size = 0;
  file.capacity = expected + 1;
  file.buffer = uninitializedBytes(room + file.capacity);
}

void growWholeFileIfFull(WholeFile& file) {
  if (file.size < file.capacity) return;
  auto larger = uninitializedBytes(file.room + 2 * file.capacity);
  std::memcpy(larger.get() + file.room, file.data(), file.size);
  file.buffer = std::move(larger);
  file.capacity *= 2;
}

bool replaceFileWhole(std::string_view windowsPath, std::string_view bytes) {
  const std::string temp = temporaryNameBeside(windowsPath);
  auto file = openFile(temp, "wbx");  // created new, never through a link left under that name
  if (!file) return false;
  bool ok = bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), file.get()) == bytes.size();
  ok = std::fflush(file.get()) == 0 && ok;
  ok = std::fclose(file.release()) == 0 && ok;
  const std::string target(windowsPath);
  // Windows refuses to replace a file that another handle holds (a report being read or
  // sent, a totals file being read for one): such holds are brief, so it tries again for
  // a moment rather than lose the new contents.
  for (int attempt = 1; ok && !MoveFileExA(temp.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING); ++attempt) {
    const DWORD error = GetLastError();
    ok = attempt < kReplaceAttempts && (error == ERROR_SHARING_VIOLATION || error == ERROR_ACCESS_DENIED);
    if (ok) std::this_thread::sleep_for(kReplacePause);
  }
  if (!ok) DeleteFileA(temp.c_str());
  return ok;
}

}  // namespace platform::fs
