#pragma once
// Vec texts of session files ("<sep>1.5<sep>-2e-3<sep>") read in bulk, without Python.
#include <cstddef>

namespace engine {

// The count of pieces of a vec text that starts and ends with its separator, else -1.
std::ptrdiff_t vecPieceCount(const char* text, std::size_t size, char separator);

// Reads every piece of such a text into out (room for vecPieceCount values). True only where
// every piece is a plain decimal number ("-"? digits "." digits, exponent) in range, read
// whole and correctly rounded; anything else (an overflow, which the program reads as 0,
// "nan", blanks, empty pieces, a "+" sign) is left to the piece-by-piece reader.
bool readVecPieces(const char* text, std::size_t size, char separator, double* out);

} // namespace engine
