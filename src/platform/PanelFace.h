#pragma once
// The look shared by the main window's panels: a raised frame with the light panel face, so
// panels never inherit the window's (dark, user-chosen) background colour.
class QFrame;

void ApplyPanelFace(QFrame* panel);
