// Streams with the class library's read, write and seek semantics.
#pragma once
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>

#include "platform/core/object.h"

enum TSeekOrigin { soBeginning = 0, soCurrent = 1, soEnd = 2 };
constexpr int soFromBeginning = 0;
constexpr int soFromCurrent = 1;
constexpr int soFromEnd = 2;

class TStream : public TObject {
 public:
  // Reads up to count bytes; returns how many were read (0 at the end).
  virtual int64_t Read(void* buffer, int64_t count) = 0;
  // Writes up to count bytes; returns how many were written.
  virtual int64_t Write(const void* buffer, int64_t count) = 0;
  // Moves the position; returns the new position.
  virtual int64_t Seek(int64_t offset, int origin) = 0;
  virtual void SetSize(int64_t size);

  int64_t Position() { return Seek(0, soCurrent); }
  void SetPosition(int64_t p) { Seek(p, soBeginning); }
  virtual int64_t Size();

  // All or nothing: EReadError / EWriteError when fewer bytes move.
  void ReadBuffer(void* buffer, int64_t count);
  void WriteBuffer(const void* buffer, int64_t count);
  // Copies count bytes from source (count 0: all of source from its start).
  int64_t CopyFrom(TStream* source, int64_t count);

  // Little-endian helpers for file headers; they raise EReadError at the end.
  uint8_t ReadByte();
  uint16_t ReadWordLE();
  uint32_t ReadDWordLE();
  void WriteByte(uint8_t v);
  void WriteWordLE(uint16_t v);
  void WriteDWordLE(uint32_t v);
};

// Open modes of file streams.
constexpr uint32_t fmCreate = 0xFFFF;
constexpr uint32_t fmOpenRead = 0x0000;
constexpr uint32_t fmOpenWrite = 0x0001;
constexpr uint32_t fmOpenReadWrite = 0x0002;
constexpr uint32_t fmShareCompat = 0x0000;
constexpr uint32_t fmShareExclusive = 0x0010;
constexpr uint32_t fmShareDenyWrite = 0x0020;
constexpr uint32_t fmShareDenyRead = 0x0030;
constexpr uint32_t fmShareDenyNone = 0x0040;

// Small reads are served from a read-ahead buffer, so a reader that takes a file a field at a
// time makes one system call per buffer, not per field. Seeks inside the buffer cost nothing;
// writes and size changes drop it first, so reads always see what was written.
class THandleStream : public TStream {
 public:
  explicit THandleStream(int handle) : FHandle(handle) {}
  int64_t Read(void* buffer, int64_t count) override;
  int64_t Write(const void* buffer, int64_t count) override;
  int64_t Seek(int64_t offset, int origin) override;
  void SetSize(int64_t size) override;
  int64_t Size() override;
  // Gives up the read-ahead first, so the handle stands at the stream's position; the stream
  // asks the handle for its position again afterwards, so reads and seeks made through the
  // handle count.
  int Handle() {
    DropBuffer();
    return FHandle;
  }
  // Gives up the read-ahead and puts the handle at the stream's position.
  void DropBuffer();
  // The system's error number of the last read or write that failed; 0 when none did.
  int LastError() const { return FLastError; }

 protected:
  int FHandle = -1;
  int FLastError = 0;

 private:
  std::unique_ptr<uint8_t[]> FBuffer;
  int64_t FBufStart = 0;  // file position of FBuffer[0]
  int64_t FBufLen = 0;    // bytes read ahead; the handle stands at FBufStart + FBufLen
  int64_t FBufPos = 0;    // the stream's position is FBufStart + FBufPos
};

class TFileStream : public THandleStream {
 public:
  // Raises EFCreateError or EFOpenError when the file can't be had.
  TFileStream(const std::string& fileName, uint32_t mode);
  ~TFileStream() override;
  const std::string& FileName() const { return FFileName; }

 private:
  std::string FFileName;
};

class TCustomMemoryStream : public TStream {
 public:
  int64_t Read(void* buffer, int64_t count) override;
  int64_t Seek(int64_t offset, int origin) override;
  int64_t Size() override { return FSize; }
  void* Memory() const { return FMemory; }
  void SaveToStream(TStream* stream);
  void SaveToFile(const std::string& fileName);

 protected:
  void SetPointer(void* p, int64_t size) {
    FMemory = static_cast<uint8_t*>(p);
    FSize = size;
  }
  uint8_t* FMemory = nullptr;
  int64_t FSize = 0;
  int64_t FPosition = 0;
};

class TMemoryStream : public TCustomMemoryStream {
 public:
  TMemoryStream() = default;
  ~TMemoryStream() override;
  int64_t Write(const void* buffer, int64_t count) override;
  void SetSize(int64_t size) override;
  void Clear();
  void LoadFromStream(TStream* stream);
  void LoadFromFile(const std::string& fileName);
  int64_t Capacity() const { return FCapacity; }

 private:
  void SetCapacity(int64_t c);
  int64_t FCapacity = 0;
};

// A read-only stream over memory that someone else owns (fuzzing, clipboard blocks).
class TReadOnlyMemoryStream : public TCustomMemoryStream {
 public:
  TReadOnlyMemoryStream(const void* data, int64_t size) { SetPointer(const_cast<void*>(data), size); }
  int64_t Write(const void*, int64_t) override { return 0; }
};

// Files and names.
bool FileExists(const std::string& fileName);
bool DeleteFile(const std::string& fileName);
bool RenameFile(const std::string& oldName, const std::string& newName);
std::string ExtractFileExt(const std::string& fileName);  // with the dot; "" when none
std::string ExtractFileName(const std::string& fileName);
std::string ExtractFilePath(const std::string& fileName);  // with the trailing separator
std::string ChangeFileExt(const std::string& fileName, const std::string& ext);
std::string LowerCase(const std::string& s);
std::string UpperCase(const std::string& s);
std::string IntToStr(int64_t v);
int StrToInt(const std::string& s);  // raises EConvertError
int StrToIntDef(const std::string& s, int def);
std::string Format(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
std::string Trim(const std::string& s);

// Writes a file through a temporary file in the same folder, renamed over the target
// only when write returns normally and true; a failed save leaves the target as it was and
// no temporary file behind. A symbolic link is written through to the file it names; a
// replaced file keeps its mode, and its owner and group where the process may set them.
// Raises EFCreateError where a plain create would fail (a file the user may not write, a
// missing folder), with the system's error number. When the save fails after the write began,
// error (if given) gets the system's error number of the step that failed (the stream's
// writes, flushing, renaming), 0 when write itself returned false without one.
bool SaveFileAtomically(const std::string& fileName, const std::function<bool(TStream*)>& write,
                        int* error = nullptr);
