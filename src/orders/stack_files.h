// Files of the order stack: stacked and archived designs (<GUID>.xme, enciphered).
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "sending/ckutil.h"
#include "support/log.h"

namespace larkedi {

/// True when the name ends with ".xme" (any case).
bool IsXmeName(std::string_view name);
/// The text with the ASCII letters a-z in upper case; other characters unchanged. Catalog
/// codes are compared in this form on both sides.
std::string FoldAscii(std::string_view text);
/// True for a plain file name that stays inside its folder (no '/', not "." or "..").
bool IsPlainFileName(std::string_view name);
/// The *.xme names of a folder, in listing order.
std::vector<std::string> ListXmeFiles(const std::string& folder);

/// Writes a design text as the enciphered file `name` in `folder`. The plain text and its
/// enciphering are made in the folder's "~stage" sub-folder and the finished file is renamed
/// into place, so the folder only ever holds the previous file or the complete new one, never
/// a plain or half-written design. False with `err` set on failure (the old file is kept).
bool StoreDesignFile(CKUtil& ck, const std::string& folder, const std::string& name,
                     std::string text, Err& err);
/// The UTF-8 text of a deciphered design file: its bytes are in the encoding its XML
/// declaration names (the module saves in its own encoding); the declaration is dropped.
std::string DesignFileText(std::string bytes);
/// Removes what an interrupted StoreDesignFile left in the folder's staging sub-folder.
void ClearStage(const std::string& folder);

}  // namespace larkedi
