#include "pki/errors/error_ctx.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/errors/errno_util.h"
#include "pki/errors/error_tables.h"
#include "pki/errors/internal.h"
#include "pki/text/codepage.h"
#include "platform/locale/process_words.h"

namespace v7 {
namespace {

// For the functions that return their code.
int fail(int code) { return with_errno(code, code); }

char *copy_text(const char *text) {
  const size_t n = std::strlen(text) + 1;
  char *copy = static_cast<char *>(std::malloc(n));
  if (copy) std::memcpy(copy, text, n);
  return copy;
}

void free_entries(ERROR_SUBNODE *entry) {
  while (entry) {
    ERROR_SUBNODE *next = entry->next;
    std::free(entry->detail);
    std::free(entry);
    entry = next;
  }
}

// A detail of null stays null: "no detail" and "an empty detail" render differently.
ERROR_SUBNODE *new_entry(int code, const char *detail) {
  ERROR_SUBNODE *entry = static_cast<ERROR_SUBNODE *>(std::calloc(1, sizeof(ERROR_SUBNODE)));
  if (!entry) return nullptr;
  entry->code = code;
  if (detail && !(entry->detail = copy_text(detail))) {
    std::free(entry);
    return nullptr;
  }
  return entry;
}

ERROR_NODE *new_node(ERROR_SUBNODE *entry) {
  ERROR_NODE *node = static_cast<ERROR_NODE *>(std::calloc(1, sizeof(ERROR_NODE)));
  if (!node) return nullptr;
  node->first = entry;
  node->function = "";
  node->file = "";
  return node;
}

// Measures when buf is null, writes otherwise, so one walk serves both passes of a rendering.
struct Sink {
  char *buf = nullptr;
  size_t len = 0;

  void put(const char *text, size_t n) {
    if (buf) std::memcpy(buf + len, text, n);
    len += n;
  }
  void put(const char *text) { put(text, std::strlen(text)); }
  // Numbers go through a bounded buffer; a code never needs more than a dozen characters.
  template <typename T>
  void put_format(const char *format, T value) {
    char number[32];
    const int n = std::snprintf(number, sizeof(number), format, value);
    if (n > 0) put(number, std::min(static_cast<size_t>(n), sizeof(number) - 1));
  }
};

// Codes of outside modules show their own number, without the offset the toolkit adds.
void put_suffix(Sink &out, int code) {
  const uint32_t u = static_cast<uint32_t>(code);
  if (u >= 0x10000 && u <= 0x1FFFF) {
    out.put_format(" [0x%04X] ", static_cast<unsigned>(u - 0x10000));
  } else if (u >= 0x20000 && u <= 0x2FFFF) {
    out.put_format(" [0x%04X] ", static_cast<unsigned>(u - 0x20000));
  } else if (u >= 0x100000 && u <= 0x1FFFFF) {
    out.put_format(" [0x%04X] ", static_cast<unsigned>(u - 0x100000));
  } else if (u >= 0x80000000u && u <= 0x8FFFFFFFu) {
    out.put_format(" [0x%08X] ", static_cast<unsigned>(u - 0x100000));
  } else {
    out.put_format(" [%d] ", code);
  }
}

// The message of a code as it stands in the tables; Korean in UTF-8 when utf8 is set, which is
// what converting the EUC-KR row would give, since both rows hold the same words.
const char *table_message(int code, uint16_t flags, bool utf8) {
  return (flags & kErrFmtEnglish) ? err_text_en(code) : err_text_ko_in(code, utf8);
}

const char *or_empty(const char *text) { return text ? text : ""; }

void put_node_parts(Sink &out, const ERROR_NODE *node, uint16_t flags) {
  const char *file = or_empty(node->file);
  const char *function = or_empty(node->function);
  const bool with_file = (flags & kErrFmtFile) && *file;
  const bool with_line = (flags & kErrFmtLine) && node->line != 0;
  const bool with_function = (flags & kErrFmtFunction) && *function;
  if (!with_file && !with_line && !with_function) return;
  out.put(" (  ");
  if (with_file) {
    out.put("FILE : ");
    out.put(file);
    out.put("  ");
  }
  if (with_line) {
    out.put("LINE : ");
    out.put_format("%d", node->line);
    out.put("  ");
  }
  if (with_function) {
    out.put("FUNC : ");
    out.put(function);
    out.put("  ");
  }
  out.put(")  ");
}

void render(const ERROR_CTX *ctx, uint16_t flags, Sink &out) {
  const bool short_separators = (flags & kErrFmtShortSeparators) != 0;
  const char *entry_separator = short_separators ? ":" : " : ";
  const char *node_separator = short_separators ? ">" : " > ";
  const bool oldest_first = (flags & kErrFmtOldestFirst) != 0;
  const bool numeric = (flags & kErrFmtNumeric) != 0;

  // The last written code carries across nodes: a node that repeats the code of the node before
  // it writes nothing between its separators.
  bool have_last = false;
  int last = 0;
  for (const ERROR_NODE *node = oldest_first ? ctx->oldest : ctx->newest; node;
       node = oldest_first ? node->newer : node->older) {
    if (node != (oldest_first ? ctx->oldest : ctx->newest)) out.put(node_separator);
    bool first_entry = true;
    for (const ERROR_SUBNODE *e = node->first; e; e = e->next) {
      const bool repeated = have_last && e->code == last;
      if (!e->detail && (e->code == -1 || repeated)) continue;
      if (!first_entry) out.put(entry_separator);
      first_entry = false;
      if (e->code != 0 && e->code != -1 && !repeated) {
        if (numeric) {
          out.put_format("%d", e->code);
        } else {
          out.put(table_message(e->code, flags, char_encoding_is_utf8()));
          put_suffix(out, e->code);
        }
        have_last = true;
        last = e->code;
      } else {
        if (!numeric && e->detail) out.put(e->detail);
        have_last = false;
      }
    }
    put_node_parts(out, node, flags);
  }
}

// Renders into a new text. *utf8 tells the encoding the text ended in, which the wide forms
// decode by: a 0x1000 conversion that fails leaves the text in EUC-KR.
char *render_new(const ERROR_CTX *ctx, uint16_t flags, bool *utf8) {
  Sink measure;
  render(ctx, flags, measure);
  Sink out;
  out.buf = static_cast<char *>(std::malloc(measure.len + 1));
  if (!out.buf) return nullptr;
  render(ctx, flags, out);
  out.buf[out.len] = '\0';

  *utf8 = char_encoding_is_utf8();
  if ((flags & kErrFmtUtf8) && !*utf8 && out.len != 0) {
    char *converted = nullptr;
    if (euckr_to_utf8(out.buf, &converted) != 0 && converted) {
      std::free(out.buf);
      out.buf = converted;
      *utf8 = true;
    }
  }
  return out.buf;
}

// Renders into the context's cached text, replacing the previous one. The field is emptied
// first so that a failed rendering never leaves a freed pointer behind.
const char *format_cached(ERROR_CTX *ctx, uint16_t flags, bool *utf8) {
  if (!ctx) return with_errno(kErrNoErrorContext, static_cast<const char *>(nullptr));
  std::free(ctx->text);
  ctx->text = nullptr;
  ctx->text = render_new(ctx, flags, utf8);
  if (!ctx->text) return with_errno(kErrOutOfMemory, static_cast<const char *>(nullptr));
  return ctx->text;
}

}  // namespace
}  // namespace v7

int err_push(ERROR_CTX *ctx, int code, const char *detail) {
  if (!ctx) return v7::fail(v7::kErrNoErrorContext);
  ERROR_NODE *node = err_node_new(code, detail);
  if (!node) return v7::fail(v7::kErrOutOfMemory);
  node->older = ctx->newest;
  if (ctx->newest) {
    ctx->newest->newer = node;
  } else {
    ctx->oldest = node;
  }
  ctx->newest = node;
  return 0;
}

int err_add_detail(ERROR_CTX *ctx, int code, const char *detail) {
  if (!ctx) return v7::fail(v7::kErrNoErrorContext);
  // Checked before allocating, so a context without a node costs nothing to ask.
  if (!ctx->newest) return v7::fail(v7::kErrNoNodeInErrorContext);
  ERROR_SUBNODE *entry = v7::new_entry(code, detail);
  if (!entry) return v7::fail(v7::kErrOutOfMemory);
  return err_node_append(ctx->newest, entry);
}

ERROR_NODE *err_node_new(int code, const char *detail) {
  ERROR_SUBNODE *entry = v7::new_entry(code, detail);
  ERROR_NODE *node = entry ? v7::new_node(entry) : nullptr;
  if (!node) {
    v7::free_entries(entry);
    return v7::with_errno(v7::kErrOutOfMemory, static_cast<ERROR_NODE *>(nullptr));
  }
  return node;
}

int err_node_append(ERROR_NODE *node, ERROR_SUBNODE *entry) {
  if (!node) return v7::fail(v7::kErrNoNodeInErrorContext);
  if (!entry) return v7::fail(v7::kErrNoSubNodeInErrorContext);
  ERROR_SUBNODE **tail = &node->first;
  while (*tail) tail = &(*tail)->next;
  *tail = entry;
  return 0;
}

ERROR_SUBNODE *err_subnode_new(int code, const char *detail) {
  ERROR_SUBNODE *entry = v7::new_entry(code, detail);
  if (!entry) return v7::with_errno(v7::kErrOutOfMemory, static_cast<ERROR_SUBNODE *>(nullptr));
  return entry;
}

void err_node_free(ERROR_NODE *node) {
  if (!node) return;
  v7::free_entries(node->first);
  std::free(node);
}

void err_ctx_clear(ERROR_CTX *ctx) {
  if (!ctx) return;
  ERROR_NODE *node = ctx->newest;
  while (node) {
    ERROR_NODE *older = node->older;
    err_node_free(node);
    node = older;
  }
  std::free(ctx->text);
  std::free(ctx->text_w);
  ctx->newest = nullptr;
  ctx->oldest = nullptr;
  ctx->text = nullptr;
  ctx->text_w = nullptr;
}

const char *err_ctx_format(ERROR_CTX *ctx, uint16_t flags) {
  bool utf8 = false;
  return v7::format_cached(ctx, flags, &utf8);
}

const char16_t *err_ctx_text_w(ERROR_CTX *ctx, uint16_t flags) {
  if (ctx) {
    std::free(ctx->text_w);
    ctx->text_w = nullptr;
  }
  bool utf8 = false;
  const char *text = v7::format_cached(ctx, flags, &utf8);
  if (!text) return nullptr;  // errno set by the rendering
  char16_t *wide = nullptr;
  const int rc = utf8 ? utf8_to_wide(text, &wide) : euckr_to_wide(text, &wide);
  if (rc != 0) return v7::with_errno(rc, static_cast<const char16_t *>(nullptr));
  ctx->text_w = wide;
  return wide;
}

char *err_code_text(int code, uint16_t flags) {
  const bool utf8 = (flags & kErrFmtUtf8) || char_encoding_is_utf8();
  char *copy = v7::copy_text(v7::table_message(code, flags, utf8));
  if (!copy) return v7::with_errno(v7::kErrOutOfMemory, static_cast<char *>(nullptr));
  return copy;
}

char16_t *err_code_text_w(int code, uint16_t flags) {
  // Decoded from the UTF-8 row whatever the flags: the words are the same in both encodings.
  char16_t *wide = nullptr;
  const int rc = utf8_to_wide(v7::table_message(code, flags, true), &wide);
  if (rc != 0) return v7::with_errno(rc, static_cast<char16_t *>(nullptr));
  return wide;
}
