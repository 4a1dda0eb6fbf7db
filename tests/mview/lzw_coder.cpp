// The tests' GIF coder (the product installs none), built into this program too.
#include "pcxgif/lzw_coder.cpp"
