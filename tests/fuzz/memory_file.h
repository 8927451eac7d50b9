// A platform::File over bytes held in memory, for the fuzz targets: readers
// that take an open file get the fuzzer's input without touching the disk.
#pragma once

#include <algorithm>
#include <cstring>
#include <string>

#include "platform/platform.h"

class MemoryFile : public platform::File {
 public:
  explicit MemoryFile(std::string bytes) : bytes_(std::move(bytes)) {}

  bool Read(char* buffer, size_t size, size_t& got) override {
    got = std::min(size, bytes_.size() - position_);
    if (got > 0) std::memcpy(buffer, bytes_.data() + position_, got);
    position_ += got;
    return true;
  }
  bool Write(std::string_view bytes) override {
    bytes_.replace(position_, std::min(bytes.size(), bytes_.size() - position_), bytes);
    position_ += bytes.size();
    return true;
  }
  bool Seek(int64_t offset) override {
    if (offset < 0 || static_cast<size_t>(offset) > bytes_.size()) return false;
    position_ = static_cast<size_t>(offset);
    return true;
  }
  bool Size(int64_t& size) override {
    size = static_cast<int64_t>(bytes_.size());
    return true;
  }
  bool Truncate(int64_t size) override {
    if (size < 0 || static_cast<size_t>(size) > bytes_.size()) return false;
    bytes_.resize(static_cast<size_t>(size));
    position_ = std::min(position_, bytes_.size());
    return true;
  }
  bool Sync() override { return true; }
  bool Close() override { return true; }
  bool SetMode(uint32_t) override { return true; }
  bool LockFirstByte(int) override { return true; }
  void UnlockFirstByte() override {}

 private:
  std::string bytes_;
  size_t position_ = 0;
};
