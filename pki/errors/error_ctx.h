// The error context: the failures of one operation, newest first, with their detail texts, and
// their rendering as one line of English or Korean text.
//
// The context is owned by the caller (embedded or allocated zero-filled, which is the empty
// context) and passed down; it has no lock, so one thread uses it at a time. The three records
// are plain C structs because contexts cross the library's error-dialog exports. Everything the
// context owns is allocated with malloc: a foreign module that fills a field itself must use the
// same heap.
#pragma once

#include <cstdint>

struct ERROR_SUBNODE {
  int code;      // 0 or -1: no code, the entry carries only its detail
  char *detail;  // owned copy, or null
  ERROR_SUBNODE *next;
};

struct ERROR_NODE {
  ERROR_SUBNODE *first;
  const char *function;  // not owned; the empty text unless a caller sets it
  const char *file;      // not owned; likewise
  int line;
  ERROR_NODE *older;
  ERROR_NODE *newer;
};

struct ERROR_CTX {
  ERROR_NODE *newest;
  ERROR_NODE *oldest;
  char *text;        // last rendering, owned by the context
  char16_t *text_w;  // last wide rendering, owned likewise
};

// Rendering flags.
enum : uint16_t {
  kErrFmtFile = 0x1,      // append a node's file text when it is not empty
  kErrFmtLine = 0x2,      // append a node's line when it is not 0
  kErrFmtFunction = 0x4,  // append a node's function text when it is not empty
  kErrFmtOldestFirst = 0x8,
  kErrFmtNumeric = 0x10,  // codes as "%d" only: no messages, no detail texts
  kErrFmtShortSeparators = 0x20,
  kErrFmtEnglish = 0x200,  // English messages, else Korean
  kErrFmtUtf8 = 0x1000,    // deliver UTF-8 whatever CharEncodingMode says
};

// Pushes a new newest node with one entry {code, copy of detail}. 0, or kErrNoErrorContext (null
// context) or kErrOutOfMemory; the code is also left in errno. On failure the context is unchanged.
int err_push(ERROR_CTX *ctx, int code, const char *detail);

// Appends an entry {code, copy of detail} to the newest node. 0, kErrNoErrorContext (null context),
// kErrNoNodeInErrorContext (no node) or kErrOutOfMemory; the context is unchanged on failure.
int err_add_detail(ERROR_CTX *ctx, int code, const char *detail);

// A detached node with one entry, empty texts and line 0; null with errno kErrOutOfMemory.
ERROR_NODE *err_node_new(int code, const char *detail);
// Appends entry to node, which then owns it. 0, kErrNoNodeInErrorContext (null node) or
// kErrNoSubNodeInErrorContext (null entry); on failure the entry stays the caller's.
int err_node_append(ERROR_NODE *node, ERROR_SUBNODE *entry);
// An entry with a copy of detail (or none); null with errno kErrOutOfMemory.
ERROR_SUBNODE *err_subnode_new(int code, const char *detail);
// Frees a detached node with its entries; null is accepted. Never call it on a node of a context.
void err_node_free(ERROR_NODE *node);

// Frees every node, entry and cached text and leaves the context empty; null is accepted.
void err_ctx_clear(ERROR_CTX *ctx);

// Renders the context as narrow text, keeps it as the context's cached text and returns it. The
// caller never frees it; the next rendering or err_ctx_clear does, so the pointer is valid only
// until then. Null with errno kErrNoErrorContext (null context) or kErrOutOfMemory.
const char *err_ctx_format(ERROR_CTX *ctx, uint16_t flags);

// The same rendering as wide text (UTF-16), cached and owned by the context likewise. Null with
// errno kErrNoErrorContext, kErrOutOfMemory or the conversion's code (33002, kErrUtf8ToWide) when a
// detail text is not in the encoding of the rendering.
const char16_t *err_ctx_text_w(ERROR_CTX *ctx, uint16_t flags);

// A new copy of one code's message (English with flag 0x200, else Korean; under flag 0x1000 in
// UTF-8). The empty text for a code without a message; null with errno kErrOutOfMemory. The caller
// frees it with free.
char *err_code_text(int code, uint16_t flags);
// The same message as new wide text; the caller frees it with free. Null with errno
// kErrOutOfMemory.
char16_t *err_code_text_w(int code, uint16_t flags);
