// PStringX texts: the append rule, decoding, lengths, the formatter, the
// UTF-16 conversions and the stream decoders.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "pencoding.h"
#include "perror.h"
#include "pstring.h"

namespace {

std::string Bytes(const PString& s) { return std::string(s.text()); }

std::vector<uint16_t> Units(const PWString& w) {
    std::vector<uint16_t> v;
    for (uint32_t i = 0; i < w.units(); ++i)
        v.push_back(w.unit(i));
    return v;
}

std::vector<uint16_t> Wide(const char* text, const PStringEncoding* e = &PStringXEncoding) {
    PWString w;
    ToWide(w, text, e);
    return Units(w);
}

std::string Format(const char* pattern, std::vector<const char*> args, const char* start = "") {
    PString out(start);
    PStringXMessageEncoding.format(out, pattern, int(args.size()), args.data());
    return Bytes(out);
}

const char* const kUtf8Ete = "\x10\xC3\x89T\xC3\x89";  // marked UTF-8 "ÉTÉ"

}  // namespace

// ---- Append rule -----------------------------------------------------------

TEST(PStringXAppend, StaysSingleByteWhileEveryCharacterHasACp1252Byte) {
    PString s;
    AppendCodePoint(s, 0xE9);
    EXPECT_EQ(Bytes(s), "\xE9");
    AppendCodePoint(s, 0x20AC);  // euro sign
    AppendCodePoint(s, 0x2122);  // last entry of the encode table
    AppendCodePoint(s, 0xA0);    // first entry
    EXPECT_EQ(Bytes(s), "\xE9\x80\x99\xA0");
}

TEST(PStringXAppend, SwitchesToUtf8OnceAndNeverBack) {
    PString s;
    AppendCodePoint(s, 0xE9);
    AppendCodePoint(s, 0x0416);
    EXPECT_EQ(Bytes(s), "\x10\xC3\xA9\xD0\x96");
    // A character with a code page 1252 byte now goes in as UTF-8, not as 0xE9.
    AppendCodePoint(s, 0xE9);
    AppendCodePoint(s, 'a');
    AppendCodePoint(s, 0x20AC);
    EXPECT_EQ(Bytes(s), "\x10\xC3\xA9\xD0\x96\xC3\xA9" "a\xE2\x82\xAC");
}

TEST(PStringXAppend, ConversionReencodesEveryOldCharacter) {
    PString s("\x80\x9F\xFF" "A");
    AppendCodePoint(s, 0x65E5);
    EXPECT_EQ(Bytes(s), "\x10\xE2\x82\xAC\xC5\xB8\xC3\xBF" "A\xE6\x97\xA5");
}

TEST(PStringXAppend, KeepsTheLow16BitsAndDropsZero) {
    PString s("x");
    AppendCodePoint(s, 0x10041);  // low bits: 'A'
    AppendCodePoint(s, 0);
    AppendCodePoint(s, 0x10000);  // low bits: 0
    EXPECT_EQ(Bytes(s), "xA");
    PString u("\x10");
    AppendCodePoint(u, 0);
    EXPECT_EQ(Bytes(u), "\x10");
}

TEST(PStringXAppend, ControlCharacter10AloneIsNotMistakenForTheMarker) {
    PString s;
    AppendCodePoint(s, 0x10);
    EXPECT_EQ(Bytes(s), "\x10\x10");
    EXPECT_EQ(PStringXEncoding.length(s.text()), 1u);
    PString t("a");
    AppendCodePoint(t, 0x10);
    EXPECT_EQ(Bytes(t), "a\x10");
}

TEST(PStringXAppend, SurrogateUnitsAreKeptAsThreeByteSequences) {
    PString s;
    AppendCodePoint(s, 0xD83D);
    EXPECT_EQ(Bytes(s), "\x10\xED\xA0\xBD");
}

TEST(PStringXAppend, EncodingNulPolicy) {
    PString s("a");
    PStringXEncoding.appendChar(s, 0);
    EXPECT_EQ(Bytes(s), "a");
    PStringEncodingPStringX strict(0x0F, PStringEncoding::NUL_THROWS, 0);
    try {
        strict.appendChar(s, 0);
        FAIL() << "no error";
    } catch (const PInternalError& e) {
        EXPECT_STREQ(e.why(), "PStringEncodingPStringX: unexpected NULL character");
    }
    PStringEncodingPStringX replacing(0x0F, PStringEncoding::NUL_REPLACED, '?');
    replacing.appendChar(s, 0);
    EXPECT_EQ(Bytes(s), "a?");
    std::unique_ptr<PStringEncoding> copy(replacing.clone());
    EXPECT_EQ(copy->nulPolicy(), PStringEncoding::NUL_REPLACED);
    EXPECT_EQ(copy->replacement(), '?');
    EXPECT_EQ(copy->options(), 0x0F);
}

TEST(PStringXAppend, AppendCharTakesTheByteValueAsCodePoint) {
    PString s;
    AppendChar(s, '\xE9');
    AppendChar(s, '\n');
    EXPECT_EQ(Bytes(s), "\xE9\n");
    PString u("\x10" "a");
    AppendChar(u, '\xE9');
    EXPECT_EQ(Bytes(u), "\x10" "a\xC3\xA9");
}

// ---- AppendText ----------------------------------------------------------

TEST(PStringXAppendText, CopiesAcrossForms) {
    PString s("\xE9");
    AppendText(s, "\x10\xD0\x96");
    EXPECT_EQ(Bytes(s), "\x10\xC3\xA9\xD0\x96");
    PString t;
    AppendText(t, "\x10\xC3\xA9t\xC3\xA9");  // UTF-8 text whose characters all fit code page 1252
    EXPECT_EQ(Bytes(t), "\xE9t\xE9");
    AppendText(t, "");
    AppendText(t, nullptr);
    EXPECT_EQ(Bytes(t), "\xE9t\xE9");
}

TEST(PStringXAppendText, SkipsMalformedSequencesWithoutLosingTheNextCharacter) {
    PString s;
    AppendText(s, "\x10" "a\xC3" "b\x80" "c\xFF" "d");
    EXPECT_EQ(Bytes(s), "abcd");
}

TEST(PStringXAppendText, CutOffSequenceEndsTheText) {
    PString s("x");
    AppendText(s, "\x10" "a\xE6\x97");
    EXPECT_EQ(Bytes(s), "xa");
}

TEST(PStringXAppendText, UndefinedCp1252BytesAreDropped) {
    PString s;
    AppendText(s, "\x81" "a\x8D\x8F\x90\x9D" "b\x81");
    EXPECT_EQ(Bytes(s), "ab");
}

// ---- Decoding --------------------------------------------------------------

TEST(PUtf8Decode, SequenceLengthsAndValues) {
    struct Case {
        const char* bytes;
        int32_t value;
        int used;
    } cases[] = {
        {"A", 'A', 1},
        {"\xC3\xA9", 0xE9, 2},
        {"\xE6\x97\xA5", 0x65E5, 3},
        {"\xF0\x9F\x98\x80", 0x1F600, 4},
        {"\xF8\x88\x80\x80\x80", 0x200000, 5},
        {"\xFC\x84\x80\x80\x80\x80", 0x4000000, 6},
        {"\xC0\x81", 0x01, 2},         // overlong, accepted
        {"\xED\xA0\x80", 0xD800, 3},   // surrogate, accepted
    };
    for (const Case& c : cases) {
        const uint8_t* p = reinterpret_cast<const uint8_t*>(c.bytes);
        const uint8_t* end = p + std::strlen(c.bytes);
        const uint8_t* q = p;
        EXPECT_EQ(PDecodeUtf8(q, end), c.value) << c.bytes;
        EXPECT_EQ(q - p, c.used);
        q = p;
        EXPECT_EQ(PDecodeUtf8(q, nullptr), c.value) << "without end";
    }
}

TEST(PUtf8Decode, MalformedAndCutOff) {
    const uint8_t bad[] = {0x80, 0xFE, 0xFF};
    for (uint8_t b : bad) {
        const uint8_t* p = &b;
        EXPECT_EQ(PDecodeUtf8(p, &b + 1), PDECODE_MALFORMED);
        EXPECT_EQ(p, &b + 1);
    }
    const uint8_t cut[] = {0xE6, 0x97};
    const uint8_t* p = cut;
    EXPECT_EQ(PDecodeUtf8(p, cut + 2), PDECODE_CUT_OFF);
    EXPECT_EQ(p, cut);
    // Without an end, the terminator is a bad continuation and is not passed.
    const char* text = "\xE6\x97";
    const uint8_t* q = reinterpret_cast<const uint8_t*>(text);
    EXPECT_EQ(PDecodeUtf8(q, nullptr), PDECODE_MALFORMED);
    EXPECT_EQ(*q, 0);
    EXPECT_EQ(PDecodeUtf8(q, nullptr), 0);
    EXPECT_EQ(*q, 0);
}

TEST(PStringXParser, ReportsEndCutOffAndMalformed) {
    PStringEncoding::ParserHolder h;
    PStringXEncoding.createParser(h);
    const char* text = "\x10" "a\x80\xE6\x97";
    EXPECT_EQ(h->init(text, nullptr), text + 1);
    EXPECT_EQ(h->next(), 'a');
    EXPECT_EQ(h->next(), PDECODE_MALFORMED);
    EXPECT_EQ(h->next(), PDECODE_CUT_OFF);
    EXPECT_EQ(h->next(), PDECODE_CUT_OFF);  // stays on the lead byte

    h->init("\x81\x8D", nullptr);  // only undefined bytes
    EXPECT_EQ(h->next(), PDECODE_MALFORMED);
    EXPECT_EQ(h->next(), 0);

    const char* t = "ab\x81" "c";
    h->init(t, t + 2);  // an explicit end stops before the rest
    EXPECT_EQ(h->next(), 'a');
    EXPECT_EQ(h->next(), 'b');
    EXPECT_EQ(h->next(), 0);
    EXPECT_EQ(h->next(), 0);
}

TEST(PStringXParser, CloneContinuesFromTheSamePlaceAndCompares) {
    PStringEncoding::ParserHolder a, b;
    PStringXEncoding.createParser(a);
    a->init("\x10\xD0\x96xy", nullptr);
    EXPECT_EQ(a->next(), 0x416);
    a->cloneInto(b);
    EXPECT_EQ(a->compare(*b.get()), 0);
    EXPECT_EQ(b->next(), 'x');
    EXPECT_EQ(a->compare(*b.get()), -1);
    EXPECT_EQ(b->compare(*a.get()), 1);
    EXPECT_EQ(a->next(), 'x');
    EXPECT_EQ(a->next(), 'y');
    a->cloneInto(a);  // onto itself: unchanged
    EXPECT_EQ(a->next(), 0);
}

TEST(PStringXLength, CountsCharactersNotBytes) {
    EXPECT_EQ(PStringXEncoding.length("\x10\xCE\xA9\xCE\xBC"), 2u);
    EXPECT_EQ(PStringXEncoding.length("abc"), 3u);
    EXPECT_EQ(PStringXEncoding.length(""), 0u);
    EXPECT_EQ(PStringXEncoding.length(nullptr), 0u);
    EXPECT_EQ(PStringXEncoding.length("\x10"), 0u);
    EXPECT_EQ(PStringXEncoding.length("\x81\xE9"), 2u);        // code page form: bytes
    EXPECT_EQ(PStringXEncoding.length("\x10" "a\x80" "b"), 3u);  // malformed counts as one
    EXPECT_EQ(PStringXEncoding.length("\x10" "ab\xE6\x97"), 3u); // cut-off: one, then the end
}

TEST(PCp1252, TablesAgreeBothWays) {
    int defined = 0;
    for (int b = 0x80; b < 0x100; ++b) {
        uint16_t c = PCp1252Decode(uint8_t(b));
        if (!c)
            continue;
        ++defined;
        EXPECT_EQ(PCp1252Encode(c), b);
    }
    EXPECT_EQ(defined, 123);
    for (uint8_t b : {0x81, 0x8D, 0x8F, 0x90, 0x9D})
        EXPECT_EQ(PCp1252Decode(b), 0);
    EXPECT_EQ(PCp1252Encode(0x7F), 0x7F);
    EXPECT_EQ(PCp1252Encode(0x81), -1);  // C1 control: no byte
    EXPECT_EQ(PCp1252Encode(0x416), -1);
    EXPECT_EQ(PCp1252Encode(0x2123), -1);
}

TEST(PLowerCase, OneToOneBmpMappings) {
    EXPECT_EQ(PLowerCodePoint('A'), uint32_t('a'));
    EXPECT_EQ(PLowerCodePoint('a'), uint32_t('a'));
    EXPECT_EQ(PLowerCodePoint(0xC9), 0xE9u);
    EXPECT_EQ(PLowerCodePoint(0x416), 0x436u);    // Ж
    EXPECT_EQ(PLowerCodePoint(0x3A9), 0x3C9u);    // Ω
    EXPECT_EQ(PLowerCodePoint(0x178), 0xFFu);     // Ÿ
    EXPECT_EQ(PLowerCodePoint(0xFF21), 0xFF41u);  // fullwidth A
    EXPECT_EQ(PLowerCodePoint(0x130), 0x130u);    // İ lower-cases to two characters: left alone
    EXPECT_EQ(PLowerCodePoint(0x65E5), 0x65E5u);
    EXPECT_EQ(PLowerCodePoint(0x10400), 0x10400u);  // outside the BMP
}

// ---- UTF-16 ----------------------------------------------------------------

TEST(PStringXToWide, DecodesBothForms) {
    EXPECT_EQ(Wide("\x10\xE6\x97\xA5"), (std::vector<uint16_t>{0x65E5}));
    EXPECT_EQ(Wide("\x80\x81\x41"), (std::vector<uint16_t>{0x20AC, 0x41}));
    EXPECT_EQ(Wide(""), std::vector<uint16_t>{});
    EXPECT_EQ(Wide(nullptr), std::vector<uint16_t>{});
    EXPECT_EQ(Wide("\x10"), std::vector<uint16_t>{});
}

TEST(PStringXToWide, StopsAtMalformedOrCutOffInput) {
    EXPECT_EQ(Wide("\x10" "ab\xFF" "cd"), (std::vector<uint16_t>{'a', 'b'}));
    EXPECT_EQ(Wide("\x10" "ab\xE6\x97"), (std::vector<uint16_t>{'a', 'b'}));
}

TEST(PStringXToWide, NullEncodingTakesBytesAsCodePage1252) {
    EXPECT_EQ(Wide("a\xE9\x80\x81", nullptr), (std::vector<uint16_t>{'a', 0xE9, 0x20AC}));
    EXPECT_EQ(Wide("\x10\xC3\xA9", nullptr), (std::vector<uint16_t>{0x10, 0xC3, 0xA9}));
}

TEST(PStringXToWide, CrLfVariant) {
    PWString w;
    ToWideCrLf(w, "a\nb\rc", &PStringXEncoding);
    EXPECT_EQ(Units(w), (std::vector<uint16_t>{'a', '\r', '\n', 'b', 'c'}));
    PWString u;
    ToWideCrLf(u, "\x10\r\n\xD0\x96\n", &PStringXEncoding);
    EXPECT_EQ(Units(u), (std::vector<uint16_t>{'\r', '\n', 0x416, '\r', '\n'}));
}

TEST(PStringXToWide, AppendsToWhatIsThereAndGrows) {
    PWString w;
    ToWide(w, "ab", &PStringXEncoding);
    std::string longText(100, 'x');
    ToWide(w, longText.c_str(), &PStringXEncoding);
    w.terminate();
    EXPECT_EQ(w.units(), 103u);
    EXPECT_EQ(w.unit(0), 'a');
    EXPECT_EQ(w.unit(101), 'x');
    EXPECT_EQ(w.unit(102), 0);
}

TEST(PStringXFromWide, RoundTripsAndPicksTheForm) {
    const uint16_t latin[] = {'c', 0xE9, 0x20AC, 0};
    PString s;
    FromWide(s, latin, &PStringXEncoding);
    EXPECT_EQ(Bytes(s), "c\xE9\x80");
    const uint16_t mixed[] = {0xE9, 0x65E5, 'a', 0xD83D, 0xDE00, 0};
    PString m;
    FromWide(m, mixed, &PStringXEncoding);
    EXPECT_EQ(Bytes(m), "\x10\xC3\xA9\xE6\x97\xA5" "a\xED\xA0\xBD\xED\xB8\x80");
    PWString back;
    ToWide(back, m.text(), &PStringXEncoding);
    EXPECT_EQ(Units(back), (std::vector<uint16_t>{0xE9, 0x65E5, 'a', 0xD83D, 0xDE00}));
}

TEST(PStringXFromWide, NoCrVariantAndNullInput) {
    const uint16_t text[] = {'a', '\r', '\n', 'b', '\r', 0};
    PString s, t;
    FromWideNoCr(s, text, &PStringXEncoding);
    FromWide(t, text, nullptr);
    EXPECT_EQ(Bytes(s), "a\nb");
    EXPECT_EQ(Bytes(t), "a\r\nb\r");
    FromWide(s, static_cast<const uint16_t*>(nullptr), &PStringXEncoding);
    EXPECT_EQ(Bytes(s), "a\nb");
}

// ---- Formatter ----------------------------------------------------------

TEST(PStringXFormat, Directives) {
    EXPECT_EQ(Format("100%% %0%1%2", {"a", "b"}), "100% ab");
    EXPECT_EQ(Format("%1-%0", {"x", "y"}), "y-x");
    EXPECT_EQ(Format("%0%0", {"z"}), "zz");
    EXPECT_EQ(Format("a%xb", {"z"}), "ab");      // unknown directive: both dropped
    EXPECT_EQ(Format("a%9b", {"z"}), "ab");      // digit beyond the arguments
    EXPECT_EQ(Format("a%L5b", {"z"}), "ab");     // also with %L
    EXPECT_EQ(Format("a%Lxb", {"z"}), "ab");
    EXPECT_EQ(Format("plain", {}), "plain");
    EXPECT_EQ(Format("%0", {nullptr}), "");
    EXPECT_EQ(Format("", {"a"}), "");
}

TEST(PStringXFormat, TrailingPercentEndsTheFormatting) {
    EXPECT_EQ(Format("ab%", {"z"}), "ab");
    EXPECT_EQ(Format("ab%L", {"z"}), "ab");
    EXPECT_EQ(Format("ab%l", {"z"}), "ab");
    EXPECT_EQ(Format("\x10" "ab%L", {"z"}), "ab");
    EXPECT_EQ(Format("\x10" "ab%", {"z"}), "ab");
}

TEST(PStringXFormat, AppendsToWhatOutHolds) {
    EXPECT_EQ(Format("%0!", {"b"}, "a"), "ab!");
}

TEST(PStringXFormat, LowerCaseInByteModeTouchesOnlyAsciiLetters) {
    EXPECT_EQ(Format("%L0", {"ABC"}), "abc");
    EXPECT_EQ(Format("%l0", {"\xC9T\xC9"}), "\xC9t\xC9");  // 'ÉTÉ' in code page 1252 -> 'ÉtÉ'
}

TEST(PStringXFormat, LowerCaseInCodePointModeUsesTheTable) {
    // The same word as a marked UTF-8 argument lower-cases completely; the
    // result has only code page 1252 characters and stays single-byte.
    EXPECT_EQ(Format("%L0", {kUtf8Ete}), "\xE9t\xE9");
    EXPECT_EQ(Format("%0", {kUtf8Ete}), "\xC9T\xC9");
    EXPECT_EQ(Format("%L0", {"\x10\xD0\x96\xCE\xA9"}), "\x10\xD0\xB6\xCF\x89");
    // A code page 1252 argument in code-point mode is lower-cased by the table too.
    EXPECT_EQ(Format("\x10%L0", {"\xC9"}), "\xE9");
}

TEST(PStringXFormat, Cp1252PatternWithUtf8ArgumentIsReencoded) {
    EXPECT_EQ(Format("Caf\xE9 %0.", {"\x10\xE6\x97\xA5\xE6\x9C\xAC"}),
              "\x10" "Caf\xC3\xA9 \xE6\x97\xA5\xE6\x9C\xAC.");
}

TEST(PStringXFormat, Utf8OutputForcesCodePointMode) {
    // Byte mode would copy 0xE9 raw into a UTF-8 string and corrupt it.
    EXPECT_EQ(Format("\xE9%0", {"\xC9"}, "\x10\xD0\x96"), "\x10\xD0\x96\xC3\xA9\xC3\x89");
}

TEST(PStringXFormat, MalformedPatternEndsMalformedArgumentIsCut) {
    EXPECT_EQ(Format("\x10" "ab\xFF" "cd", {}), "ab");
    EXPECT_EQ(Format("\x10<%0>", {"\x10" "xy\xE6\x97"}), "<xy>");
}

TEST(PStringXFormat, ArgumentTakenFromTheOutputStringItself) {
    PString out("\xE9t\xE9 ");
    const char* args[] = {out.text()};
    PStringXEncoding.format(out, "\x10%0\xD0\x96%0", 1, args);  // out turns UTF-8 midway
    EXPECT_EQ(Bytes(out), "\x10\xC3\xA9t\xC3\xA9 \xC3\xA9t\xC3\xA9 \xD0\x96\xC3\xA9t\xC3\xA9 ");
    PString again("ab");
    PStringXEncoding.format(again, again.text(), 0, nullptr);
    EXPECT_EQ(Bytes(again), "abab");
}

// ---- Stream decoders -------------------------------------------------------

TEST(PStreamDecoders, Utf8CutOffWaitsForMoreMalformedThrows) {
    const uint8_t in1[] = {'a', 0xC3};
    uint16_t buf[8];
    uint16_t* out = buf;
    const uint8_t* in = in1;
    EXPECT_EQ(PStreamUtf8.decode(out, buf + 8, in, in1 + 2), 1u);
    EXPECT_EQ(in, in1 + 1);
    EXPECT_EQ(buf[0], 'a');

    const uint8_t in2[] = {0xC3, 0x41};
    in = in2;
    out = buf;
    try {
        PStreamUtf8.decode(out, buf + 8, in, in2 + 2);
        FAIL() << "no error";
    } catch (const PI18NError& e) {
        EXPECT_STREQ(e.why(), "UTF-8 format error");
    }
}

TEST(PStreamDecoders, Utf8ResumesAcrossCallsAndHonoursOutputRoom) {
    const uint8_t data[] = {0xE6, 0x97, 0xA5, 0x00, 'z', 0xF0, 0x9F, 0x98, 0x80};
    uint16_t buf[2];
    std::vector<uint16_t> got;
    const uint8_t* in = data;
    const uint8_t* end = data + 1;  // feed the bytes one more at a time
    while (in < data + sizeof data) {
        uint16_t* out = buf;
        size_t n = PStreamUtf8.decode(out, buf + 2, in, end);
        EXPECT_EQ(size_t(out - buf), n);
        got.insert(got.end(), buf, buf + n);
        if (end < data + sizeof data)
            ++end;
    }
    // A NUL in a stream is a character; a four-byte sequence keeps its low 16 bits.
    EXPECT_EQ(got, (std::vector<uint16_t>{0x65E5, 0, 'z', 0xF600}));
}

TEST(PStreamDecoders, Win1252DropsUndefinedBytes) {
    const uint8_t data[] = {'a', 0x81, 0x80, 0x9D, 0xFF, 0x00};
    uint16_t buf[8];
    uint16_t* out = buf;
    const uint8_t* in = data;
    EXPECT_EQ(PStreamWin1252.decode(out, buf + 8, in, data + sizeof data), 4u);
    EXPECT_EQ(in, data + sizeof data);
    EXPECT_EQ(std::vector<uint16_t>(buf, out), (std::vector<uint16_t>{'a', 0x20AC, 0xFF, 0}));
    out = buf;
    in = data;
    EXPECT_EQ(PStreamWin1252.decode(out, buf + 1, in, data + sizeof data), 1u);
    EXPECT_EQ(in, data + 1);
}
