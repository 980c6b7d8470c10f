// Every picture of the game, drawn procedurally.
#pragma once

#include "canvas.h"
#include "formats.h"

namespace gen {

// Sizes the game relies on.
constexpr int kBrickW = 50, kBrickH = 20;
constexpr int kBallSize = 20;
constexpr int kBonusW = 40, kBonusH = 20;
constexpr int kDigitW = 20, kDigitH = 26;
constexpr int kPaddleH = 14;
constexpr int kTileSize = 64;
// Offset of the right gun barrel from the paddle's left edge, by paddle size 1..5.
constexpr int kBarrelOffset[6] = {0, 39, 54, 110, 156, 207};
// Paddle width for size 1..5: the right barrel (20 pixels wide, tube centred) then sits centred
// on the right end, as the left barrel at -10 sits centred on the left end.
inline int PaddleWidth(int size) { return kBarrelOffset[size] + 10; }

Image Ball(int kind);              // shar/1..4: 20 x 20 on black (the key)
Image Bonus(int kind);             // bon/1..12: capsules, opaque
Image GunBarrel();                 // bon/13, on black
Image Bullet();                    // bon/14, on black
Image Digit(int d);                // fnt/0..9, on black
Image Paddle(int size);            // pod/1..5, on black
Image Brick(int type, int frame);  // kirp/<type><frame>: 50 x 20
bool BrickKeyed(int type);         // drawn on black for the colour key (types 2, 6..9)
Image FieldTile();                 // fon/2: seamless 64 x 64 tile

Image MenuTitle();       // m1, 300 x 57, on black
Image MenuCaption2();    // m2, 135 x 30, on black, for additive drawing
Image MenuCaption3();    // m3, 160 x 33, on colour (1, 1, 1), for additive drawing
Image MenuBackdrop();    // 800 x 600
Image LoadingPicture();  // 320 x 150, behind the loading window's progress bar
Image ScorePicture();    // 232 x 77, behind the score-entry window's controls

// The application icon, `size` x `size` (drawn for each size, not scaled): bricks, the ball and
// the paddle of the game on a rounded field; outside the rounded square nothing is drawn.
Canvas AppIcon(int size);

Indexed TileIndexed16();  // the field tile reduced to 16 colours (carried RLE4 picture)
Indexed Emblem();         // 160 x 160, 256 colours, on white (carried RLE8 picture)
Indexed PanelMark();      // 10 x 7, two colours, on white (carried 1-bit picture)

}  // namespace gen
