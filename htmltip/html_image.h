// What the image tags ("bmp", "icon", "ilst") of an HTML text say, and the drawer's settings for
// the shadows they may ask for.
#pragma once

#include <cstdint>
#include <string>

#include "htmltip/html_canvas.h"

namespace v7::htmltip {

// One image tag's attributes, read anew for each tag; the defaults are those of a tag without them.
struct HtmlImageAttributes {
  int index = 0;              // "index": the frame of a strip, the icon of an image list
  int resourceId = 0;         // "idres"
  int libraryResourceId = 0;  // "iddll"
  uintptr_t handle = 0;       // "handle": a bitmap or icon its owner keeps
  int frameWidth = 0;         // "cx"
  int frameHeight = 0;        // "cy"
  int width = 100;            // "width", in percent or pixels
  int height = 100;           // "height"
  int speed = 0;              // "speed": timer ticks per frame of an animated strip; 0 still
  int style = 0;              // "style": effect flags; also sets hotStyle
  int hotStyle = 0;           // "hotstyle": the flags while the mouse is over the image's link
  int useMask = 0;            // set by "mask"
  int widthIsPercent = 1;
  int heightIsPercent = 1;
  HtmlColor maskColor = 0xFF00FF;  // "mask"
  std::u16string file;        // "file"
  std::u16string library;     // "srcdll"

  // Whether "idres", "file", "iddll" or "handle" names a bitmap of its own (an "ilst" without one
  // takes the drawer's image list).
  bool hasSource() const { return resourceId != 0 || !file.empty() || libraryResourceId != 0 || handle != 0; }
};

// The drawer's image shadows. Style letter "s" asks for one only when an offset is not 0.
struct HtmlImageSettings {
  int shadowDx = 4;
  int shadowDy = 4;
  int blurX = 7;
  int blurY = 7;
  bool softShadow = true;
  int shadowDarkness = 50;  // percent

  // Grey with 255 x darkness / 100 in each channel (127 at the default), darkness clipped to 0..100.
  HtmlColor shadowColor() const;
};

// The effect flags of style letters: "g" grey, "d" darker, "l" lighter, "s" a shadow (soft when
// the settings say so); other letters are ignored.
int ImageStyleFlags(std::u16string_view letters, const HtmlImageSettings &settings);

// The box of an image of `size` scaled by the attributes' width and height (percent of the size or
// pixels), computed in 64 bits and at most kMaxHtmlImageSide a side.
HtmlSize ScaledImageBox(HtmlSize size, const HtmlImageAttributes &attributes);

}  // namespace v7::htmltip
