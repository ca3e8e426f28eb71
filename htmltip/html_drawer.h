// The portable engine of the HTML drawers: lays an HTML text out and draws it through a canvas, in
// two passes over the same code. The measure pass sizes the text and records every line and table;
// the draw pass paints into a rectangle from those records and never past them. Both drawer
// generations run on this engine, each with the profile of its vocabulary.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "htmltip/html_canvas.h"
#include "htmltip/html_image.h"
#include "htmltip/html_layout.h"
#include "htmltip/html_style.h"
#include "htmltip/html_vocabulary.h"

namespace v7::htmltip {

class HtmlDrawer {
 public:
  HtmlDrawer(HtmlGeneration generation, HtmlSystemColorFn systemColor);

  HtmlVocabulary &vocabulary() { return vocabulary_; }
  const HtmlVocabulary &vocabulary() const { return vocabulary_; }

  // 0: nothing wraps. Otherwise text wraps at this width; values past kMaxHtmlExtent count as it.
  // Read when measuring: a text is drawn with the lines it was measured with.
  int maxWidth = 0;
  // The link number "a:hover" and the hot image styles are drawn for; -2: none.
  int hotLink = -2;
  // The string resources "<string idres=n>" draws; unset or an empty answer draws nothing.
  std::function<std::u16string(int id)> loadString;
  // The shadows the image tags ask for with style letter "s".
  HtmlImageSettings imageSettings;

  // What the drawer asks of its owner; any of them may stay unset.
  // - redrawRequest: the hot link changed to the number given (-2: none); the owner repaints.
  // - openLink: a hyperlink to open, as a checked, percent-encoded http or https address handed
  //   over as one value, never as part of a command line; 0 or a code.
  // - linkMessage: the text of a message link; its answer is FollowLink's.
  std::function<void(int hotLink)> redrawRequest;
  std::function<int(const std::u16string &address)> openLink;
  std::function<intptr_t(const std::u16string &text)> linkMessage;

  // Prepares and lays out `html`. An empty text, or one that lays out as nothing, measures 0 x 0
  // and later draws nothing; any other text measures one pixel wider and taller than its content
  // (its width capped at maxWidth when that is set). Returns 0, or kErrHtmlTextTooLong with the
  // size 0 x 0 and the kept text emptied.
  int MeasureHtml(HtmlCanvas &canvas, std::u16string_view html, HtmlSize *size);
  // Draws the text measured last into `rect`, replaying what the measure pass recorded.
  void DrawHtml(HtmlCanvas &canvas, const HtmlRect &rect);

  const std::vector<HtmlLineRecord> &lines() const { return lines_; }
  // Where line `index` of the text measured last is drawn when the text is drawn into `rect`: its
  // content from where it starts to where it ends, over the line's whole height (empty for an
  // index past the lines). For the lines outside tables; a cell's lines lie in its cell.
  HtmlRect LineBox(size_t index, const HtmlRect &rect) const;
  const std::vector<HtmlTableLayout> &tables() const { return tables_; }
  // The areas the links of the last draw pass cover; rebuilt by every pass.
  const std::vector<HtmlLinkRecord> &linkAreas() const { return links_; }
  // True when the last measure pass stopped at one of the bounds of html_layout.h.
  bool truncated() const { return truncated_; }
  // The animated image strips of the text measured last.
  const std::vector<HtmlAnimationRecord> &animations() const { return animations_; }

  // One tick of the owner's animation timer: each strip counts it and moves to its next frame
  // (after the last, the first) every `speed` ticks. True when a frame changed: the owner repaints.
  bool AdvanceAnimations();

  // The first link area of the last draw pass holding the point (edges included), or -1.
  int HitTestLink(int x, int y) const;
  // The mouse at (x, y): when it enters a link other than the hot one, or leaves every link, the
  // hot link changes and redrawRequest is told. True whenever the point is over a link with a
  // text: the owner shows the hand cursor.
  bool OnMouseOverLink(int x, int y);
  // Follows link area `index`: a hyperlink goes to openLink once its address is checked and
  // encoded (kErrHtmlLinkAddress when it is not an http or https address); a message link's text
  // goes to linkMessage, whose answer lands in `answer`. kErrHtmlLinkNotFollowed for an index
  // without a link, an empty link text, or nobody set to take it; else 0 or openLink's code.
  int FollowLink(int index, intptr_t *answer = nullptr);
  // An http or https address (any case) with a host, each UTF-8 byte of a blank, a quote, a
  // character outside ASCII or of <>\^`{|} percent-encoded; kErrHtmlLinkAddress (address empty)
  // for any other text, a control character or a lone surrogate.
  static int EncodeLinkAddress(std::u16string_view text, std::u16string *address);

  // The tip line of a string resource: what follows its first line feed, up to the next one or the
  // end. Empty for id 0, a missing string or one without a line feed.
  std::u16string GetResourceTipText(int id) const;

  // The attributes of an image tag as this drawer's generation reads them (the first generation
  // knows "idres", "mask", "width" and "height" only).
  HtmlImageAttributes ReadImageAttributes(const HtmlMetrics &metrics, std::u16string_view attributes);

  // Splits a tag's attribute text: skips to the next digit, letter or "."; the name runs to a blank
  // or "="; a value quoted with ' or " runs to the same quote, any other to the next blank.
  // Returns false when no attribute is left.
  static bool NextAttribute(std::u16string_view text, size_t *pos, std::u16string_view *name,
                            std::u16string_view *value);
  // The part of `text` that fits in spaceLeft pixels, broken after a blank or punctuation; without
  // such a break a line that is still empty takes as many characters as fit (at least one) and one
  // with content takes nothing. `rest` gets what is left, leading blanks removed.
  static std::u16string_view WrapText(const HtmlMetrics &metrics, std::u16string_view text, int64_t spaceLeft,
                                      bool atLineStart, std::u16string_view *rest);

 private:
  struct Box {
    int64_t left = 0, top = 0, right = 0, bottom = 0;
    int64_t width() const { return right - left; }
  };
  struct Extent {
    int64_t cx = 0, cy = 0;
  };

  bool measuring() const { return measuring_; }
  bool second() const { return vocabulary_.generation() == HtmlGeneration::kSecond; }
  void RunPass(const Box &rect, Extent *size);
  Extent DrawContent(std::u16string_view text, Box rect);
  Extent DrawSegment(std::u16string_view text, const Box &rect);
  void DrawTextRun(std::u16string text);
  void DrawTextPart(std::u16string_view part);
  void HandleTag(std::u16string_view tagText);
  void ChangeStyle(int id, std::u16string_view tagName, std::u16string_view attributes);
  void DrawRule(std::u16string_view attributes);
  void DrawStringTag(std::u16string_view attributes);
  void DrawImageTag(int id, std::u16string_view attributes);
  // Where an object of that height goes on the line (measure: registers it).
  int64_t ObjectLineY(int64_t objectHeight);
  // Counts an image of that box against the bounds of a pass; false: it is laid out as nothing.
  bool TakeImageBudget(HtmlSize box);
  void SelectStyleFont();

  // Lines.
  int64_t StartLine();
  void EndLine(int count);
  int64_t TextLineY(int textHeight);
  void AdvanceTab(int count);
  // Moves x by what is drawn; `measured` is what the measure pass moved for the same item.
  void Advance(int64_t drawn, int64_t measured);
  bool LineAvailable();
  // The width lines wrap at (0: none), the same in both passes, and the room left on the line
  // before it, measured from where the line starts as the measure pass laid it out.
  int64_t WrapWidth() const;
  int64_t SpaceLeft() const;
  void AddLinkArea(int64_t x, int64_t y, int64_t width, int64_t height);
  int Repeat(std::u16string_view attributes) const;

  // Tables (html_table.cpp).
  struct Spans {
    int colspan = 1;
    int rowspan = 1;
  };
  Extent DrawTable(std::u16string_view text, const Box &rect);
  void DrawTableRow(std::u16string_view tagText, std::u16string_view body, const Box &inner,
                    HtmlTableLayout *layout, int row);
  void DrawTableCell(std::u16string_view tagText, std::u16string_view body, const Box &cellRect,
                     HtmlCellRecord *cell, Spans *spans);
  void ReadTableAttributes(std::u16string_view attributes, bool table, Spans *spans);
  void PaintBox(const Box &box, HtmlColor light, HtmlColor dark, int frameWidth);

  HtmlVocabulary vocabulary_;
  HtmlCanvas *canvas_ = nullptr;
  std::u16string text_;
  int64_t wrapWidth_ = 0;  // the width the text measured last wraps at, in both passes
  bool measuring_ = true;
  bool truncated_ = false;
  bool stop_ = false;  // a bound was met: the pass lays out nothing more

  HtmlStyleRecord2 style_;
  HtmlStyleStack stack_;
  HtmlTextMetrics metrics_;

  std::vector<HtmlLineRecord> lines_;
  size_t lineIndex_ = 0;
  HtmlLineRecord line_;        // the line being laid out (measure) or replayed (draw)
  bool lineHasContent_ = false;
  int64_t lineStartX_ = 0;
  int64_t expectedWidth_ = 0;  // draw: what the record says is still to come on the line
  int expectedBlanks_ = 0;
  int64_t lineShift_ = 0;      // draw: how much farther the line has come than it was measured (measure: 0)
  Box rect_;                   // of the segment being laid out
  int64_t x_ = 0, y_ = 0;

  std::vector<HtmlTableLayout> tables_;
  HtmlTableFinder tableFinder_;  // of the text of the pass
  int tableIndex_ = -1;
  int tableDepth_ = 0;
  std::vector<HtmlLinkRecord> links_;
  int linkCounter_ = -1;
  std::vector<HtmlAnimationRecord> animations_;
  int animationCounter_ = -1;
  int imageCount_ = 0;
  int64_t imagePixels_ = 0;
};

}  // namespace v7::htmltip
