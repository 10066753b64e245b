#pragma once
// The look shared by the program and its screenshot tour: a Japanese font
// for every caption, so kana and kanji take their Japanese forms.

class QApplication;

namespace korvane {

// Makes a Japanese CJK font (Noto Sans CJK JP when installed) the default.
void ApplyJapaneseFont(QApplication& app);

}  // namespace korvane
