#include "platform/core/stream.h"

#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <vector>

void TStream::SetSize(int64_t) {}

int64_t TStream::Size() {
  int64_t pos = Seek(0, soCurrent);
  int64_t end = Seek(0, soEnd);
  Seek(pos, soBeginning);
  return end;
}

void TStream::ReadBuffer(void* buffer, int64_t count) {
  if (count != 0 && Read(buffer, count) != count) throw EReadError(SReadError);
}

void TStream::WriteBuffer(const void* buffer, int64_t count) {
  if (count != 0 && Write(buffer, count) != count) throw EWriteError(SWriteError);
}

int64_t TStream::CopyFrom(TStream* source, int64_t count) {
  if (count == 0) {
    source->SetPosition(0);
    count = source->Size();
  }
  int64_t result = count;
  std::vector<uint8_t> buf(size_t(std::min<int64_t>(count, 1 << 20)) + 1);
  while (count > 0) {
    int64_t n = std::min<int64_t>(count, int64_t(buf.size()));
    source->ReadBuffer(buf.data(), n);
    WriteBuffer(buf.data(), n);
    count -= n;
  }
  return result;
}

uint8_t TStream::ReadByte() {
  uint8_t b;
  ReadBuffer(&b, 1);
  return b;
}

uint16_t TStream::ReadWordLE() {
  uint8_t b[2];
  ReadBuffer(b, 2);
  return uint16_t(b[0] | (b[1] << 8));
}

uint32_t TStream::ReadDWordLE() {
  uint8_t b[4];
  ReadBuffer(b, 4);
  return uint32_t(b[0]) | (uint32_t(b[1]) << 8) | (uint32_t(b[2]) << 16) | (uint32_t(b[3]) << 24);
}

void TStream::WriteByte(uint8_t v) { WriteBuffer(&v, 1); }

void TStream::WriteWordLE(uint16_t v) {
  uint8_t b[2] = {uint8_t(v), uint8_t(v >> 8)};
  WriteBuffer(b, 2);
}

void TStream::WriteDWordLE(uint32_t v) {
  uint8_t b[4] = {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)};
  WriteBuffer(b, 4);
}

// ---- handle and file streams

namespace {

constexpr int64_t kReadAhead = 64 << 10;

// One system call's worth (a pipe may give less than asked); 0 at the end or on an error,
// whose number goes to `error`.
int64_t ReadHandle(int handle, uint8_t* p, int64_t count, int& error) {
  for (;;) {
    const ssize_t n = ::read(handle, p, size_t(std::min<int64_t>(count, 1 << 30)));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) error = errno;
    return n < 0 ? 0 : int64_t(n);
  }
}

}  // namespace

void THandleStream::DropBuffer() {
  if (FBufLen == 0) return;
  const int64_t pos = FBufStart + FBufPos;
  if (FBufPos != FBufLen) ::lseek(FHandle, off_t(pos), SEEK_SET);
  FBufStart = FBufLen = FBufPos = 0;
}

int64_t THandleStream::Read(void* buffer, int64_t count) {
  if (count <= 0) return 0;
  int64_t done = 0;
  auto* p = static_cast<uint8_t*>(buffer);
  while (done < count) {
    if (FBufPos < FBufLen) {
      const int64_t n = std::min(count - done, FBufLen - FBufPos);
      std::memcpy(p + done, FBuffer.get() + FBufPos, size_t(n));
      FBufPos += n;
      done += n;
      continue;
    }
    // The buffer is used up: the handle stands at the stream's position.
    FBufStart = FBufLen = FBufPos = 0;
    const int64_t rest = count - done;
    // Large reads, and handles that can't tell their position, go straight to the caller.
    const int64_t at = rest >= kReadAhead ? -1 : int64_t(::lseek(FHandle, 0, SEEK_CUR));
    if (at < 0) {
      const int64_t n = ReadHandle(FHandle, p + done, rest, FLastError);
      if (n <= 0) break;
      done += n;
      continue;
    }
    if (!FBuffer) FBuffer = std::make_unique<uint8_t[]>(size_t(kReadAhead));
    const int64_t n = ReadHandle(FHandle, FBuffer.get(), kReadAhead, FLastError);
    if (n <= 0) break;
    FBufStart = at;
    FBufLen = n;
  }
  return done;
}

int64_t THandleStream::Write(const void* buffer, int64_t count) {
  if (count <= 0) return 0;
  DropBuffer();
  int64_t done = 0;
  auto* p = static_cast<const uint8_t*>(buffer);
  while (done < count) {
    ssize_t n = ::write(FHandle, p + done, size_t(std::min<int64_t>(count - done, 1 << 30)));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) FLastError = errno;
    if (n <= 0) break;
    done += n;
  }
  return done;
}

int64_t THandleStream::Seek(int64_t offset, int origin) {
  const int whence = origin == soBeginning ? SEEK_SET : origin == soCurrent ? SEEK_CUR : SEEK_END;
  if (FBufLen > 0) {
    // The handle stands past the buffer, so a relative move is made absolute first.
    int64_t target = offset;
    // A move past the largest position is refused, as the system refuses it.
    if (whence == SEEK_CUR && __builtin_add_overflow(offset, FBufStart + FBufPos, &target)) return -1;
    if (whence != SEEK_END && target >= FBufStart && target <= FBufStart + FBufLen) {
      FBufPos = target - FBufStart;
      return target;
    }
    // A move the system refuses leaves the stream as it was.
    const off_t r = ::lseek(FHandle, off_t(target), whence == SEEK_END ? SEEK_END : SEEK_SET);
    if (r < 0) return -1;
    FBufStart = FBufLen = FBufPos = 0;
    return int64_t(r);
  }
  const off_t r = ::lseek(FHandle, off_t(offset), whence);
  return r < 0 ? -1 : int64_t(r);
}

int64_t THandleStream::Size() {
  struct stat st;
  if (::fstat(FHandle, &st) == 0 && S_ISREG(st.st_mode)) return int64_t(st.st_size);
  return TStream::Size();
}

void THandleStream::SetSize(int64_t size) {
  DropBuffer();
  Seek(size, soBeginning);
  if (::ftruncate(FHandle, off_t(size)) != 0) throw EStreamError("Cannot set the stream size");
}

TFileStream::TFileStream(const std::string& fileName, uint32_t mode) : THandleStream(-1), FFileName(fileName) {
  if (mode == fmCreate) {
    FHandle = ::open(fileName.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (FHandle < 0) throw EFCreateError(Format(SFCreateError, fileName.c_str()), errno);
  } else {
    int access = (mode & 3) == fmOpenWrite ? O_WRONLY : (mode & 3) == fmOpenReadWrite ? O_RDWR : O_RDONLY;
    FHandle = ::open(fileName.c_str(), access | O_CLOEXEC);
    int error = FHandle < 0 ? errno : 0;
    struct stat st;
    if (FHandle >= 0) {
      if (::fstat(FHandle, &st) != 0) error = errno;
      else if (S_ISDIR(st.st_mode)) error = EISDIR;
      if (error) {
        ::close(FHandle);
        FHandle = -1;
      }
    }
    if (FHandle < 0) throw EFOpenError(Format(SFOpenError, fileName.c_str()), error);
  }
}

TFileStream::~TFileStream() {
  if (FHandle >= 0) ::close(FHandle);
}

// ---- memory streams

int64_t TCustomMemoryStream::Read(void* buffer, int64_t count) {
  if (FPosition < 0 || count <= 0) return 0;
  int64_t n = std::min<int64_t>(FSize - FPosition, count);
  if (n <= 0) return 0;
  std::memcpy(buffer, FMemory + FPosition, size_t(n));
  FPosition += n;
  return n;
}

int64_t TCustomMemoryStream::Seek(int64_t offset, int origin) {
  switch (origin) {
    case soBeginning: FPosition = offset; break;
    case soCurrent: FPosition += offset; break;
    case soEnd: FPosition = FSize + offset; break;
    default: break;
  }
  return FPosition;
}

void TCustomMemoryStream::SaveToStream(TStream* stream) {
  if (FSize != 0) stream->WriteBuffer(FMemory, FSize);
}

void TCustomMemoryStream::SaveToFile(const std::string& fileName) {
  TFileStream f(fileName, fmCreate);
  SaveToStream(&f);
}

TMemoryStream::~TMemoryStream() { std::free(FMemory); }

void TMemoryStream::SetCapacity(int64_t c) {
  if (c == FCapacity) return;
  if (c == 0) {
    std::free(FMemory);
    FMemory = nullptr;
    FCapacity = 0;
    return;
  }
  void* p = std::realloc(FMemory, size_t(c));
  if (!p) throw EOutOfMemory("Out of memory while expanding memory stream");
  FMemory = static_cast<uint8_t*>(p);
  FCapacity = c;
}

void TMemoryStream::SetSize(int64_t size) {
  if (size < 0) size = 0;
  int64_t old = FSize;
  if (size > FCapacity) SetCapacity((size + 8191) & ~int64_t(8191));
  FSize = size;
  if (size > old) std::memset(FMemory + old, 0, size_t(size - old));
  if (FPosition > size) FPosition = size;
}

int64_t TMemoryStream::Write(const void* buffer, int64_t count) {
  if (FPosition < 0 || count <= 0) return 0;
  int64_t end = FPosition + count;
  if (end > FSize) {
    if (end > FCapacity) SetCapacity(std::max<int64_t>((end + 8191) & ~int64_t(8191), FCapacity + FCapacity / 2));
    if (FPosition > FSize) std::memset(FMemory + FSize, 0, size_t(FPosition - FSize));
    FSize = end;
  }
  std::memcpy(FMemory + FPosition, buffer, size_t(count));
  FPosition = end;
  return count;
}

void TMemoryStream::Clear() {
  SetCapacity(0);
  FSize = 0;
  FPosition = 0;
}

void TMemoryStream::LoadFromStream(TStream* stream) {
  stream->SetPosition(0);
  int64_t n = stream->Size();
  SetSize(n);
  FPosition = 0;
  if (n != 0) stream->ReadBuffer(FMemory, n);
}

void TMemoryStream::LoadFromFile(const std::string& fileName) {
  TFileStream f(fileName, fmOpenRead | fmShareDenyWrite);
  LoadFromStream(&f);
}

// ---- files and names

bool FileExists(const std::string& fileName) {
  struct stat st;
  return ::stat(fileName.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

bool DeleteFile(const std::string& fileName) { return ::unlink(fileName.c_str()) == 0; }

bool RenameFile(const std::string& oldName, const std::string& newName) {
  return std::rename(oldName.c_str(), newName.c_str()) == 0;
}

static size_t LastSeparator(const std::string& s) {
  size_t a = s.find_last_of('/');
  size_t b = s.find_last_of('\\');
  if (a == std::string::npos) return b;
  if (b == std::string::npos) return a;
  return std::max(a, b);
}

std::string ExtractFileExt(const std::string& fileName) {
  size_t dot = fileName.find_last_of('.');
  size_t sep = LastSeparator(fileName);
  if (dot == std::string::npos || (sep != std::string::npos && dot < sep)) return "";
  return fileName.substr(dot);
}

std::string ExtractFileName(const std::string& fileName) {
  size_t sep = LastSeparator(fileName);
  return sep == std::string::npos ? fileName : fileName.substr(sep + 1);
}

std::string ExtractFilePath(const std::string& fileName) {
  size_t sep = LastSeparator(fileName);
  return sep == std::string::npos ? std::string() : fileName.substr(0, sep + 1);
}

std::string ChangeFileExt(const std::string& fileName, const std::string& ext) {
  std::string e = ExtractFileExt(fileName);
  return fileName.substr(0, fileName.size() - e.size()) + ext;
}

std::string LowerCase(const std::string& s) {
  std::string r = s;
  for (char& c : r)
    if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
  return r;
}

std::string UpperCase(const std::string& s) {
  std::string r = s;
  for (char& c : r)
    if (c >= 'a' && c <= 'z') c = char(c - 'a' + 'A');
  return r;
}

std::string IntToStr(int64_t v) { return std::to_string(v); }

std::string Trim(const std::string& s) {
  size_t b = 0, e = s.size();
  while (b < e && (unsigned char)s[b] <= ' ') ++b;
  while (e > b && (unsigned char)s[e - 1] <= ' ') --e;
  return s.substr(b, e - b);
}

int StrToInt(const std::string& s) {
  std::string t = Trim(s);
  if (t.empty()) throw EConvertError("'" + s + "' is not a valid integer value");
  errno = 0;
  char* end = nullptr;
  long long v;
  if (t[0] == '$') v = std::strtoll(t.c_str() + 1, &end, 16);
  else v = std::strtoll(t.c_str(), &end, 10);
  if (errno != 0 || !end || *end != 0 || v < INT32_MIN || v > INT32_MAX || t == "$" || t == "-" || t == "+")
    throw EConvertError("'" + s + "' is not a valid integer value");
  return int(v);
}

int StrToIntDef(const std::string& s, int def) {
  try {
    return StrToInt(s);
  } catch (const EConvertError&) {
    return def;
  }
}

std::string Format(const char* fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  va_list ap2;
  va_copy(ap2, ap);
  int n = std::vsnprintf(nullptr, 0, fmt, ap);
  va_end(ap);
  std::string r(size_t(n > 0 ? n : 0), '\0');
  if (n > 0) std::vsnprintf(r.data(), size_t(n) + 1, fmt, ap2);
  va_end(ap2);
  return r;
}

namespace {

// The file a plain write to fileName lands in: symbolic links are followed to their target,
// which need not exist yet. False for a loop of links or one that can't be read.
bool WriteTarget(const std::string& fileName, std::string& target) {
  std::string path = fileName;
  for (int depth = 0; depth < 40; ++depth) {
    struct stat st;
    if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) {
      target = path;
      return true;
    }
    std::vector<char> buf(256);
    ssize_t n;
    while ((n = ::readlink(path.c_str(), buf.data(), buf.size())) >= ssize_t(buf.size())) buf.resize(buf.size() * 2);
    if (n <= 0) return false;
    const std::string link(buf.data(), size_t(n));
    const size_t sep = path.find_last_of('/');
    path = link[0] == '/' || sep == std::string::npos ? link : path.substr(0, sep + 1) + link;
  }
  return false;
}

// A directory descriptor closed on every way out.
struct TDirHandle {
  int Fd = -1;
  ~TDirHandle() {
    if (Fd >= 0) ::close(Fd);
  }
};

// Creates a new file of a short unique name in the directory: ".~" and eight letters or
// digits, so a temporary file fits wherever a name of the longest length does.
int CreateTempFile(int dirFd, mode_t mode, std::string& name) {
  static std::atomic<uint64_t> counter{0};
  static const char digits[] = "abcdefghijklmnopqrstuvwxyz0123456789";
  for (int attempt = 0; attempt < 100; ++attempt) {
    uint64_t r = 0;
    if (::getrandom(&r, sizeof r, GRND_NONBLOCK) != ssize_t(sizeof r)) {
      struct timespec ts;
      ::clock_gettime(CLOCK_MONOTONIC, &ts);
      r = uint64_t(ts.tv_nsec) ^ (uint64_t(ts.tv_sec) << 30) ^ (uint64_t(::getpid()) << 40);
    }
    r ^= ++counter * 0x9E3779B97F4A7C15ull;
    name = ".~";
    for (int i = 0; i < 8; ++i, r /= 36) name += digits[r % 36];
    int fd = ::openat(dirFd, name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, mode);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  return -1;
}

}  // namespace

bool SaveFileAtomically(const std::string& fileName, const std::function<bool(TStream*)>& write, int* error) {
  const auto createError = [&](int code) { return EFCreateError(Format(SFCreateError, fileName.c_str()), code); };
  if (error) *error = 0;
  // Through symbolic links to the file they name, so the link stays a link.
  std::string target;
  if (fileName.empty()) throw createError(ENOENT);
  if (!WriteTarget(fileName, target)) throw createError(ELOOP);
  const size_t sep = target.find_last_of('/');
  const std::string dir = sep == std::string::npos ? "." : sep == 0 ? "/" : target.substr(0, sep);
  const std::string base = sep == std::string::npos ? target : target.substr(sep + 1);
  if (base.empty()) throw createError(EISDIR);
  // A file that exists is replaced only where a plain write to it would be allowed.
  struct stat st;
  const bool exists = ::stat(target.c_str(), &st) == 0;
  if (!exists && errno != ENOENT) throw createError(errno);
  if (exists && S_ISDIR(st.st_mode)) throw createError(EISDIR);
  if (exists && ::faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) != 0) throw createError(errno);

  TDirHandle dirHandle;
  dirHandle.Fd = ::open(dir.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
  const int dirFd = dirHandle.Fd;
  if (dirFd < 0) throw createError(errno);
  std::string tmp;
  // A new file gets the usual permissions (the umask applies); a replaced one keeps its own.
  const int fd = CreateTempFile(dirFd, exists ? 0600 : 0666, tmp);
  if (fd < 0) throw createError(errno);
  if (exists) {
    // Owner and group where the process may give them; the mode after, as chown clears set-id bits.
    if (::fchown(fd, st.st_uid, st.st_gid) != 0) (void)!::fchown(fd, uid_t(-1), st.st_gid);
    ::fchmod(fd, st.st_mode & 07777);
  }
  bool ok = false;
  int failure = 0;
  try {
    THandleStream s(fd);
    ok = write(&s);
    if (!ok) failure = s.LastError();
    if (ok && ::fsync(fd) != 0) {
      ok = false;
      failure = errno;
    }
  } catch (...) {
    ::close(fd);
    ::unlinkat(dirFd, tmp.c_str(), 0);
    throw;
  }
  if (::close(fd) != 0 && ok) {
    ok = false;
    failure = errno;
  }
  if (ok && ::renameat(dirFd, tmp.c_str(), dirFd, base.c_str()) != 0) {
    ok = false;
    failure = errno;
  }
  if (!ok) ::unlinkat(dirFd, tmp.c_str(), 0);
  if (error) *error = failure;
  return ok;
}
