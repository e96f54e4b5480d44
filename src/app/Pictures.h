#pragma once
// The built-in pictures (splash, about box, window icon) are compiled into this static library;
// a linker keeps their registration only when something calls it, so every user of the
// pictures calls this first (repeated calls cost nothing).
void InitPictures();
