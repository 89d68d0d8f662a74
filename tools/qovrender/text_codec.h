// Text of the command language into characters: UTF-8 when it is valid UTF-8
// (the library sends forms in UTF-8), else the bytes of the form's symbol set.
#pragma once

#include <string>

#include "label_model.h"

namespace qovrender {

// Strict UTF-8 (no overlongs, no surrogates); false leaves `out` undefined.
bool decodeUtf8(const std::string& bytes, std::u32string& out);

// Decodes by the symbol set's two-byte encoding (GB18030, BIG5, CP949, CP932)
// or, for ASCII and UTF8, as Windows-1252. Undecodable bytes become U+FFFD.
std::u32string decodeLegacy(const std::string& bytes, Symset symset);

// UTF-8 first, then the symbol set.
std::u32string decodeText(const std::string& bytes, Symset symset);

std::string encodeUtf8(const std::u32string& text);

// Bytes through the named iconv table; undecodable bytes become U+FFFD.
std::u32string decodeWith(const std::string& bytes, const char* table);

// The language's text decoding: ISET 'UTF8' (iset -1) or SYMSET UTF8, then
// valid multi-byte UTF-8, then TWOBYTE's set (GBK without one), then the
// ISET table. `remark` says what was guessed.
std::u32string decodeLanguageText(const std::string& bytes, int iset, Symset symset, bool twoByte, std::string& remark);

}  // namespace qovrender
