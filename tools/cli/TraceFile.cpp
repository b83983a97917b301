#include "TraceFile.h"

#include <cerrno>

namespace cli {

TraceFile::~TraceFile() { Close(); }

int TraceFile::Open(const std::string& path) {
  path_ = path;
  errno = 0;
  stream_ = std::fopen(path.c_str(), "w");
  if (stream_ != nullptr) return 0;
  return errno != 0 ? errno : EIO;
}

void TraceFile::Write(void* context, const char* text, std::size_t length) {
  auto* file = static_cast<TraceFile*>(context);
  if (file->stream_ == nullptr) return;
  if (std::fwrite(text, 1, length, file->stream_) != length ||
      std::fflush(file->stream_) != 0) {
    file->NoteFailure();
  }
}

int TraceFile::Close() {
  if (stream_ != nullptr) {
    if (std::ferror(stream_) != 0) NoteFailure();
    if (std::fclose(stream_) != 0) NoteFailure();
    stream_ = nullptr;
  }
  return error_;
}

void TraceFile::NoteFailure() {
  if (error_ == 0) error_ = errno != 0 ? errno : EIO;
}

}  // namespace cli
