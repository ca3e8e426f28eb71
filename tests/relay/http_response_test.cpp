#include "relay/http_response.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <string>

#include "platform/errors/errno_util.h"
#include "relay/transport.h"
#include "tests/harness/vectors.h"

using v7test::Bytes;

namespace {

std::string response(const std::string &record, const std::string &extra_heads = "") {
  return "HTTP/1.1 200 OK\r\nContent-Type: application/octet-stream\r\n" + extra_heads +
         "Content-Length: " + std::to_string(record.size()) + "\r\n\r\n" + record;
}

struct Fed {
  int rc;
  int error;
  std::string body;
};

// Feeds `text` in the pieces cut at `cuts` (ascending), as a socket loop would.
Fed feed(const std::string &text, std::vector<size_t> cuts = {}) {
  HttpResponseReader r;
  http_response_init(&r);
  cuts.push_back(text.size());
  Fed out = {0, 0, ""};
  size_t from = 0;
  for (size_t to : cuts) {
    out.rc = http_response_feed(&r, reinterpret_cast<const uint8_t *>(text.data()) + from, to - from);
    out.error = errno;
    from = to;
    if (out.rc != 0) break;
  }
  int len = 0;
  if (out.rc == 1) {
    uint8_t *body = http_response_take_body(&r, &len);
    out.body.assign(reinterpret_cast<char *>(body), size_t(len));
    relay_free(body);
  }
  http_response_cleanup(&r);
  return out;
}

TEST(RelayHttp, FrameIsByteExact) {
  const Bytes hello = v7test::from_hex("02030000020005");
  int len = 0;
  uint8_t *frame = relay_frame_post(hello.data(), int(hello.size()), "relay.abc.kr", &len);
  ASSERT_NE(frame, nullptr);
  ASSERT_EQ(len, 110);  // 7 + 12 + 1 + 90
  const std::string expected =
      "POST /relay HTTP/1.1\r\nHost: relay.abc.kr\r\nContent-Type: application/octet-stream\r\n"
      "Content-Length: 7\r\n\r\n" +
      std::string(reinterpret_cast<const char *>(hello.data()), hello.size());
  EXPECT_EQ(std::string(reinterpret_cast<char *>(frame), size_t(len)), expected);
  relay_free(frame);

  for (int n : {1, 9, 10, 99999, 65540}) {
    Bytes record(size_t(n), 0x5a);
    frame = relay_frame_post(record.data(), n, "h", &len);
    ASSERT_NE(frame, nullptr);
    EXPECT_EQ(len, n + 1 + int(std::to_string(n).size()) + 90);
    EXPECT_EQ(frame[len - 1], 0x5a);
    relay_free(frame);
  }
  EXPECT_EQ(relay_frame_post(hello.data(), 0, "h", &len), nullptr);
  EXPECT_EQ(relay_frame_post(hello.data(), 7, nullptr, &len), nullptr);
}

TEST(RelayHttp, ContentLengthTable) {
  struct Case {
    const char *what;
    const char *head;
    int rc;
    int value;
  };
  const Case cases[] = {
      {"plain", "HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\n", 0, 5},
      {"lower-case name, three spaces", "HTTP/1.1 200 OK\r\ncontent-length:   42\r\n\r\n", 0, 42},
      {"tab and leading blanks", "http/1.0 404 x\r\n \tCONTENT-LENGTH:\t7\r\n\r\n", 0, 7},
      {"status code not examined", "HTTP/1.1 500 Internal\r\nContent-Length: 9\r\n\r\n", 0, 9},
      {"seven digits", "HTTP/1.1 200 OK\r\nContent-Length: 9999999\r\n\r\n", 0, 9999999},
      {"negative passes through", "HTTP/1.1 200 OK\r\nContent-Length: -5\r\n\r\n", 0, -5},
      {"repeated header, first wins", "HTTP/1.1 200 OK\r\nContent-Length: 3\r\nContent-Length: 4\r\n\r\n", 0,
       3},
      {"lines split at bare LF", "HTTP/1.1 200 OK\r\nX: y\nContent-Length: 6\n\n", 0, 6},
      {"eight digits", "HTTP/1.1 200 OK\r\nContent-Length: 12345678\r\n\r\n", -1, 0},
      {"zero", "HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n", -1, 0},
      {"not a number", "HTTP/1.1 200 OK\r\nContent-Length: abc\r\n\r\n", -1, 0},
      {"2147483647", "HTTP/1.1 200 OK\r\nContent-Length: 2147483647\r\n\r\n", -1, 0},
      {"-2147483648", "HTTP/1.1 200 OK\r\nContent-Length: -2147483648\r\n\r\n", -1, 0},
      {"huge", "HTTP/1.1 200 OK\r\nContent-Length: 99999999999999999999999999\r\n\r\n", -1, 0},
      {"missing", "HTTP/1.1 200 OK\r\nContent-Type: x\r\n\r\n", -1, 0},
      {"blank before colon", "HTTP/1.1 200 OK\r\nContent-Length : 5\r\n\r\n", -1, 0},
      {"header on the status line only", "HTTP/1.1 200 Content-Length: 5\r\n\r\n", -1, 0},
      {"not HTTP/", "HTPT/1.1 200 OK\r\nContent-Length: 5\r\n\r\n", -1, 0},
      {"no space", "HTTP/1.1\r\nContent-Length: 5\r\n\r\n", -1, 0},
      {"no CR LF", "HTTP/1.1 200 OK\nContent-Length: 5\r\n\r\n", -1, 0},
      {"no line end at all", "HTTP/1.1 200 OK", -1, 0},
      {"short", "HTTP", -1, 0},
      {"empty", "", -1, 0},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    int value = 0;
    EXPECT_EQ(response_content_length(&value, c.head), c.rc);
    if (c.rc == 0) {
      EXPECT_EQ(value, c.value);
    }
  }
}

TEST(RelayHttp, SplitAtEveryPairOfOffsets) {
  const std::string record(
      "\x03\x01\x00\x00\x03"
      "abc",
      8);
  const std::string text = response(record);
  for (size_t i = 0; i <= text.size(); i++) {
    for (size_t j = i; j <= text.size(); j++) {
      Fed f = feed(text, {i, j});
      ASSERT_EQ(f.rc, 1) << "cut at " << i << " and " << j;
      ASSERT_EQ(f.body, record) << "cut at " << i << " and " << j;
    }
  }
  std::vector<size_t> every;
  for (size_t i = 1; i < text.size(); i++) every.push_back(i);
  EXPECT_EQ(feed(text, every).body, record);
}

TEST(RelayHttp, HeadEndAndLimits) {
  // A stray CR before the blank line still ends the head there.
  Fed f = feed("HTTP/1.1 200 OK\r\nContent-Length: 2\r\r\n\r\nab");
  EXPECT_EQ(f.rc, 1);
  EXPECT_EQ(f.body, "ab");
  // Bytes after the body in the same delivery are not part of it.
  f = feed(response("xyz") + "HTTP/1.1 200 OK");
  EXPECT_EQ(f.body, "xyz");

  // The head may take 4096 bytes including its blank line, not one more.
  const std::string base = response("r");
  const std::string pad_name = "X-Pad: \r\n";
  const size_t head_len = base.size() - 1 + pad_name.size();
  const std::string fits = response("r", "X-Pad: " + std::string(kHttpMaxHead - head_len, 'p') + "\r\n");
  ASSERT_EQ(fits.size(), kHttpMaxHead + 1);
  EXPECT_EQ(feed(fits).rc, 1);
  const std::string over = response("r", "X-Pad: " + std::string(kHttpMaxHead - head_len + 1, 'p') + "\r\n");
  f = feed(over);
  EXPECT_EQ(f.rc, -1);
  EXPECT_EQ(f.error, v7::kErrRelayMalformed);
  f = feed(std::string(10000, 'a'), {100, 2048, 4095, 4096, 4097});
  EXPECT_EQ(f.rc, -1);
  EXPECT_EQ(f.error, v7::kErrRelayMalformed);
}

TEST(RelayHttp, BodyLengthRules) {
  struct Case {
    const char *what;
    std::string text;
    int rc;
    int error;
  };
  const Case cases[] = {
      {"missing length", "HTTP/1.1 200 OK\r\n\r\nabc", -1, v7::kErrRelayMalformed},
      {"zero length", "HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n", -1, v7::kErrRelayMalformed},
      {"negative length", "HTTP/1.1 200 OK\r\nContent-Length: -1\r\n\r\n", -1, v7::kErrOutOfMemory},
      {"larger than any record", "HTTP/1.1 200 OK\r\nContent-Length: 65541\r\n\r\n", -1,
       v7::kErrRelayMalformed},
      {"the largest record", "HTTP/1.1 200 OK\r\nContent-Length: 65540\r\n\r\n", 0, 0},
      {"body still missing", "HTTP/1.1 200 OK\r\nContent-Length: 4\r\n\r\nab", 0, 0},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    Fed f = feed(c.text);
    EXPECT_EQ(f.rc, c.rc);
    if (c.rc < 0) {
      EXPECT_EQ(f.error, c.error);
    }
  }
}

}  // namespace
