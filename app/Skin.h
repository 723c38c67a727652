#pragma once

class QApplication;

// Gives the application its look: the style sheet and the interface font.
void applySkin(QApplication &application);
