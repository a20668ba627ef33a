#pragma once

class QAbstractButton;
class QWidget;

// Sort buttons keep their state (0 off, 1 ascending, 2 descending) in their tag and name the
// label that shows their arrow in the custom property "img_ctrl". Shows the arrow of `button`'s
// state in that label below `root`: "img/normal.png", "img/inc.png" or "img/dec.png" (nothing for
// another state). The label's "bkimage" property keeps the image description.
void UpdateSortImage(QWidget* root, QAbstractButton* button);
