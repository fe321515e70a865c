#pragma once

class QWidget;

namespace tessaly {

// Gives field the keyboard focus with its whole text selected, so that what
// the user types replaces the value instead of joining it. A dialog calls it
// each time it is shown: the focus a dialog gets when first shown leaves the
// caret after the text with nothing selected, unlike the focus it gets back
// on later showings. Fields whose text lives in a child (an editable list, a
// spin box, a field that passes its focus on) have that child's text
// selected.
void FocusWithTextSelected(QWidget& field);

}  // namespace tessaly
