// Exceptions of the class library.
#pragma once
#include <stdexcept>
#include <string>

class Exception : public std::exception {
 public:
  explicit Exception(std::string message) : FMessage(std::move(message)) {}
  const std::string& Message() const { return FMessage; }
  const char* what() const noexcept override { return FMessage.c_str(); }

 private:
  std::string FMessage;
};

#define VL_DECLARE_EXCEPTION(Name, Base) \
  class Name : public Base {             \
   public:                               \
    using Base::Base;                    \
  };

// The silent exception: shown to nobody.
class EAbort : public Exception {
 public:
  EAbort() : Exception("Operation aborted") {}
  using Exception::Exception;
};

// A stream or file error, with the system's error number behind it (0 when there is none).
class EStreamError : public Exception {
 public:
  explicit EStreamError(std::string message, int errorCode = 0)
      : Exception(std::move(message)), FErrorCode(errorCode) {}
  int ErrorCode() const { return FErrorCode; }

 private:
  int FErrorCode;
};
VL_DECLARE_EXCEPTION(EReadError, EStreamError)
VL_DECLARE_EXCEPTION(EWriteError, EStreamError)
VL_DECLARE_EXCEPTION(EFOpenError, EStreamError)
VL_DECLARE_EXCEPTION(EFCreateError, EStreamError)
VL_DECLARE_EXCEPTION(EInvalidGraphic, Exception)
VL_DECLARE_EXCEPTION(EInvalidGraphicOperation, Exception)
VL_DECLARE_EXCEPTION(EOutOfResources, Exception)
VL_DECLARE_EXCEPTION(EOutOfMemory, Exception)
VL_DECLARE_EXCEPTION(EInvalidOperation, Exception)
VL_DECLARE_EXCEPTION(EListError, Exception)
VL_DECLARE_EXCEPTION(EConvertError, Exception)
VL_DECLARE_EXCEPTION(EInvalidPointer, Exception)
VL_DECLARE_EXCEPTION(EComponentError, Exception)
VL_DECLARE_EXCEPTION(EPrinter, Exception)
VL_DECLARE_EXCEPTION(EDivByZero, Exception)

// Message texts of the class library.
inline constexpr const char* SReadError = "Stream read error";
inline constexpr const char* SWriteError = "Stream write error";
inline constexpr const char* SFOpenError = "Cannot open file %s";
inline constexpr const char* SFCreateError = "Cannot create file %s";
inline constexpr const char* SListIndexError = "List index out of bounds (%d)";
inline constexpr const char* SOutOfResources = "Out of system resources";
inline constexpr const char* SInvalidBitmap = "Bitmap image is not valid";
