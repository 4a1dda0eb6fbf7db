// Fax run-length coding of bilevel rows: modified Huffman (one-dimensional), modified READ
// (two-dimensional, Group 3) and Group 4, with uncompressed mode on decoding.
//
// Decoded rows: 1 bit a pixel, most significant first, white runs 1 bits, black runs 0 bits.
// Rows to encode: 0 bits are coded as white runs, 1 bits as black runs.
#pragma once
#include <cstdint>

#include "platform/core/core.h"

// Decoders read at most DataLen bytes of Data (bits past the end read as 0) and write at most
// ceil(Width / 8) bytes of Row. They return the bit position after the line (for
// CCITTDecodeMHRow: the bytes consumed), or -1 when the data ran out or held no valid code:
// the line is then incomplete and the caller must stop.
int64_t CCITTDecode1DLine(uint8_t* Row, const uint8_t* Data, int64_t DataLen, int Width, int FillOrder, int64_t BitPos);
int64_t CCITTDecodeMHRow(uint8_t* Row, const uint8_t* Data, int64_t DataLen, int Width, int FillOrder);
// RefLine (ceil(Width / 8) bytes) is the line above; afterwards it holds the decoded line.
int64_t CCITTDecode2DLine(uint8_t* Row, const uint8_t* Data, int64_t DataLen, int Width, int FillOrder, int64_t BitPos,
                          uint8_t* RefLine);

// Encoders write whole bytes to Stream; an unfinished last byte waits in PendingBits /
// PendingByte (both 0 at the start) for the next call. After the last row each coder is
// called once more with Row nil and Width 0 to flush.
void CCITTEncodeMHRow(const uint8_t* Row, int Width, TStream* Stream);
// One-dimensional code of the row; with Eol the row is preceded by an EOL code.
void CCITTEncodeG3Row(const uint8_t* Row, int Width, TStream* Stream, int& PendingBits, uint8_t& PendingByte,
                      bool Eol = false);
// EOL and tag bit, then the first row (RefRow nil) one-dimensionally, later rows against RefRow.
// RefRow then points to Row, which must stay valid until the next call.
void CCITTEncodeG3Row2D(const uint8_t* Row, int Width, TStream* Stream, const uint8_t*& RefRow, int& PendingBits,
                        uint8_t& PendingByte);
// Two-dimensional code against RefRow (an all-white line when nil).
void CCITTEncodeG4Row(const uint8_t* Row, int Width, TStream* Stream, const uint8_t*& RefRow, int& PendingBits,
                      uint8_t& PendingByte);

// Positions of the colour changes of a 1-bit row (bit value Ink counts as the second colour;
// position -1 has the first colour), closed by two entries of Width. Changes must hold
// Width + 3 entries. Returns the number of changes before the closing entries.
int CCITTFindChanges(const uint8_t* Row, int Width, int Ink, int32_t* Changes);
