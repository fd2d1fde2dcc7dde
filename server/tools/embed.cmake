# SPDX-License-Identifier: GPL-3.0-or-later
# Writes IN (a file) as the bytes of HomePicture() into OUT (C++ source).
file(READ ${IN} hex HEX)
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
file(WRITE ${OUT}.tmp
  "#include \"server/WorldPage.h\"\n"
  "namespace mv {\nnamespace {\nconst unsigned char kPicture[] = {${bytes}};\n}\n"
  "const std::string& HomePicture() {\n"
  "  static const std::string picture(reinterpret_cast<const char*>(kPicture), sizeof kPicture);\n"
  "  return picture;\n}\n}  // namespace mv\n")
file(RENAME ${OUT}.tmp ${OUT})
