// AVI files: the frames of the first video stream, read one after another in file order.
// Frames are uncompressed DIBs, bit-field DIBs or the YUV layouts that the packed-DIB reader
// decodes; any other coding ends the reading. Nothing the file says is trusted: chunk sizes
// are checked against their lists and the stream, and a frame is read only as far as a
// picture under the bitmap limit can use. No Qt here.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "platform/core/core.h"

class TAVIReader {
 public:
  // Reads the headers of the AVI file at the stream's position and finds its first video
  // stream ("vids"). False when the stream holds no AVI file, no video stream with a picture
  // format, or no frame list; Reason() says why. The stream must outlive the reader.
  bool Open(TStream* Stream);

  // From the video stream's header: Rate / Scale frames per second, Length frames.
  uint32_t Rate() const { return FRate; }
  uint32_t Scale() const { return FScale; }
  uint32_t Length() const { return FLength; }
  // From the main header: microseconds per frame.
  uint32_t MicroSecPerFrame() const { return FMicroSecPerFrame; }
  // Number of the video stream among the file's streams.
  int StreamIndex() const { return FStreamIndex; }
  // Milliseconds a frame stays on screen: Trunc(1 / (Rate / Scale) x 1000); when the stream
  // gives no usable rate, the main header's frame time; 0 when neither does.
  int32_t FrameDelay() const;
  // The stream's picture format: a BITMAPINFOHEADER and its colour table or masks, with the
  // palette changes met so far applied.
  const std::vector<uint8_t>& Format() const { return FFormat; }

  // Reads the next frame of the video stream into Bitmap and returns its bit count as the
  // packed-DIB reader gives it. 0 when no frame is left, the frame is cut short or its
  // format can't be decoded (Reason() says which); Bitmap is then left as it was, and every
  // later call returns 0 too. Frame chunks of no bytes (dropped frames) are passed over.
  int ReadFrame(TBitmap* Bitmap);
  // Frames read so far.
  int FramesRead() const { return FFramesRead; }

  const std::string& Reason() const { return FReason; }

 private:
  struct TList {
    int64_t End;
  };
  bool Fail(const std::string& reason);
  bool ReadHeaderList(int64_t pos, int64_t end);
  bool ReadStreamList(int64_t pos, int64_t end, int index);
  // Finds the "movi" list among the chunks of a RIFF form; false when there is none.
  bool FindMovie(int64_t pos, int64_t end, int64_t& moviPos, int64_t& moviEnd);
  // Moves the walk into the frame list of the next "AVIX" form; false at the end.
  bool NextExtendedForm();
  void ApplyPaletteChange(const std::vector<uint8_t>& change);

  TStream* FStream = nullptr;
  int64_t FSize = 0;     // stream size
  int64_t FFormEnd = 0;  // end of the RIFF form being walked
  uint32_t FRate = 0, FScale = 0, FLength = 0, FMicroSecPerFrame = 0;
  int FStreamIndex = -1;
  int FStreamCount = 0;
  std::vector<uint8_t> FFormat;
  // Walk of the frame list: the position and the ends of the lists it is inside.
  int64_t FPos = 0;
  std::vector<TList> FLists;
  bool FDone = false;
  int FFramesRead = 0;
  std::string FReason;
};
