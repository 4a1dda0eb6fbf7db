// The test-only LZW coders and TIFF helpers of the codec tests, for the viewer's readers.
#include "pcxgif/lzw_coder.cpp"
#include "tiff/tiff_support.cpp"
