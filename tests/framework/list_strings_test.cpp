#include <gtest/gtest.h>

#include <string>

#include "framework/sys.h"

namespace {

std::string Field(const char *text, int k, char sep = '=') {
  char buf[64];
  const char *r = SYS_StrField(text, buf, sizeof buf, sep, k);
  return r ? std::string(r) : std::string("<null>");
}

}  // namespace

TEST(List, AddFirstAddLastAndOrder) {
  int a = 1, b = 2, c = 3, d = 4;
  SYS_List_p l = SYS_ListAddLast(nullptr, &a);
  ASSERT_NE(l, nullptr);
  EXPECT_EQ(l->data, &a);
  l = SYS_ListAddLast(l, &b);
  l = SYS_ListAddLast(l, &c);
  SYS_List_p head = l;
  l = SYS_ListAddLast(l, &d);
  EXPECT_EQ(l, head);
  l = SYS_ListAddFirst(l, &d);
  EXPECT_EQ(l->data, &d);
  EXPECT_EQ(l->next, head);
  EXPECT_EQ(head->prev, l);
  int walked = 0;
  for (SYS_List_p n = l; n; n = n->next) {
    if (n->next) {
      EXPECT_EQ(n->next->prev, n);
    }
    ++walked;
  }
  EXPECT_EQ(walked, 5);
  EXPECT_EQ(SYS_ListFree(l), 0);
}

TEST(List, RemoveTakesOnlyTheFirstEqualNode) {
  int a = 1, b = 2;
  SYS_List_p l = SYS_ListAddLast(nullptr, &a);
  l = SYS_ListAddLast(l, &b);
  l = SYS_ListAddLast(l, &a);
  l = SYS_ListRemove(l, &a);
  ASSERT_NE(l, nullptr);
  EXPECT_EQ(l->data, &b);
  EXPECT_EQ(l->prev, nullptr);
  ASSERT_NE(l->next, nullptr);
  EXPECT_EQ(l->next->data, &a);
  int other = 9;
  EXPECT_EQ(SYS_ListRemove(l, &other), l);
  l = SYS_ListRemove(l, &a);
  l = SYS_ListRemove(l, &b);
  EXPECT_EQ(l, nullptr);
  EXPECT_EQ(SYS_ErrorGet(), 0);  // emptying a list is no error
}

TEST(List, BadArguments) {
  int a = 1;
  EXPECT_EQ(SYS_ListAddFirst(nullptr, nullptr), nullptr);
  EXPECT_EQ(SYS_ErrorGet(), 10);
  EXPECT_EQ(SYS_ListAddLast(nullptr, nullptr), nullptr);
  EXPECT_EQ(SYS_ErrorGet(), 10);
  EXPECT_EQ(SYS_ListRemove(nullptr, &a), nullptr);
  EXPECT_EQ(SYS_ErrorGet(), 10);
  EXPECT_EQ(SYS_ListFree(nullptr), -1);
  EXPECT_EQ(SYS_ErrorGet(), 10);
}

TEST(Strings, FieldsSplitAtTheSeparator) {
  EXPECT_EQ(Field("a=b=c", 0), "a");
  EXPECT_EQ(Field("a=b=c", 1), "b");
  EXPECT_EQ(Field("a=b=c", 2), "c");
  EXPECT_EQ(Field("a=b=c", 3), "");
  EXPECT_EQ(Field("a==b", 1), "");
  EXPECT_EQ(Field("a==b", 2), "b");
  EXPECT_EQ(Field("=b=c", 0), "b");
  EXPECT_EQ(Field("a=b", 0, 0), "<null>");
  // In place: source and destination the same buffer.
  char same[] = "one,two,three";
  EXPECT_STREQ(SYS_StrField(same, same, sizeof same, ',', 1), "two");
  // A destination too small is refused, not overrun.
  char tiny[2];
  EXPECT_EQ(SYS_StrField("abc=d", tiny, sizeof tiny, '=', 0), nullptr);
  EXPECT_EQ(SYS_ErrorGet(), 10);
}

TEST(Strings, FieldNumbers) {
  EXPECT_EQ(SYS_StrFieldInt("10;-20;30", ';', 1), -20);
  EXPECT_EQ(SYS_StrFieldUInt("10;4000000000", ';', 1), 4000000000u);
  EXPECT_FLOAT_EQ(SYS_StrFieldFloat("1.5;2.25", ';', 1), 2.25f);
  EXPECT_EQ(SYS_StrFieldInt(nullptr, ';', 0), 0);
}

TEST(Strings, TrimReplaceCountCase) {
  char blanks[] = "   ";
  EXPECT_STREQ(SYS_StrTrim(blanks), "");
  char text[] = "  a b  ";
  EXPECT_STREQ(SYS_StrTrim(text), "a b");
  char tabs[] = "\ta ";
  EXPECT_STREQ(SYS_StrTrimLeft(tabs), "\ta ");  // only the space counts as blank
  char hashes[] = "a#b#c";
  EXPECT_STREQ(SYS_StrReplaceChar(hashes, '#', 0), "a");
  EXPECT_EQ(SYS_StrCountChar("a#b#c", '#'), 2u);
  EXPECT_EQ(SYS_StrCountChar(nullptr, '#'), 0u);
  char mixed[] = "AbC\xe9";
  EXPECT_STREQ(SYS_StrLower(mixed), "abc\xe9");
  EXPECT_STREQ(SYS_StrUpper(mixed), "ABC\xe9");
}

TEST(Strings, UrlEncodingRoundTrip) {
  char out[64];
  EXPECT_STREQ(SYS_StrUrlEncode("a b.c", out, sizeof out), "a%20b.c");
  EXPECT_STREQ(SYS_StrUrlEncode("-", out, sizeof out), "%2D");
  EXPECT_STREQ(SYS_StrUrlEncode("\xe9", out, sizeof out), "%E9");
  char small[4];
  EXPECT_EQ(SYS_StrUrlEncode("ab", small, sizeof small), nullptr);
  EXPECT_EQ(SYS_ErrorGet(), 10);
  EXPECT_STREQ(SYS_StrUrlDecode("a%20b", out, sizeof out), "a b");
  EXPECT_STRNE(SYS_StrUrlDecode("%2d", out, sizeof out), "-");
  // A cut escape at the end reads nothing beyond the text.
  EXPECT_STREQ(SYS_StrUrlDecode("x%2", out, sizeof out), "x%2");
  EXPECT_STREQ(SYS_StrUrlDecode("x%", out, sizeof out), "x%");
  const char *all = "a/b?c=d&e f\x01";
  char enc[64], dec[64];
  SYS_StrUrlEncode(all, enc, sizeof enc);
  EXPECT_STREQ(SYS_StrUrlDecode(enc, dec, sizeof dec), all);
}

TEST(Strings, ReplaceAndDuplicate) {
  char *r = SYS_StrRep("aaa", "aa", "b");
  ASSERT_NE(r, nullptr);
  EXPECT_STREQ(r, "ba");
  SYS_MEMFREE(r);
  r = SYS_StrRep("x.y.z", ".", "::");
  EXPECT_STREQ(r, "x::y::z");
  SYS_MEMFREE(r);
  EXPECT_EQ(SYS_StrRep("abc", "", "x"), nullptr);
  EXPECT_EQ(SYS_ErrorGet(), 10);
  EXPECT_EQ(SYS_StrRep(nullptr, "a", "x"), nullptr);
  EXPECT_EQ(SYS_ErrorGet(), 10);

  char *d = STRDUP("hello");
  ASSERT_NE(d, nullptr);
  EXPECT_STREQ(d, "hello");
  EXPECT_EQ(SYS_MemSize(d), 6);
  SYS_MEMFREE(d);
  EXPECT_EQ(d, nullptr);
  EXPECT_EQ(STRDUP(nullptr), nullptr);
}

TEST(Strings, NumberConversionSaturatesAndSkipsBlanks) {
  EXPECT_EQ(SYS_StrToInt("  -17x"), -17);
  EXPECT_EQ(SYS_StrToInt("99999999999"), INT32_MAX);
  EXPECT_EQ(SYS_StrToInt("-99999999999"), INT32_MIN);
  EXPECT_EQ(SYS_StrToInt("abc"), 0);
  EXPECT_DOUBLE_EQ(SYS_StrToReal(" +2.5e1"), 25.0);
  EXPECT_DOUBLE_EQ(SYS_StrToReal("-.5"), -0.5);
  EXPECT_DOUBLE_EQ(SYS_StrToReal("x"), 0.0);
}
