#include "sms/mondem/AtResponse.h"

#include <gtest/gtest.h>

namespace {

std::vector<AtToken> Tokens(std::initializer_list<std::string_view> chunks) {
    AtTokenizer tokenizer;
    std::vector<AtToken> tokens;
    for (std::string_view chunk : chunks) {
        tokenizer.feed(chunk);
        while (std::optional<AtToken> token = tokenizer.next())
            tokens.push_back(*token);
    }
    return tokens;
}

std::vector<std::string> Texts(const std::vector<AtToken>& tokens) {
    std::vector<std::string> texts;
    for (const AtToken& token : tokens)
        texts.push_back(token.kind == AtToken::Kind::Prompt ? "<prompt>" : token.text);
    return texts;
}

using Lines = std::vector<std::string>;

TEST(AtTokenizer, CutsLinesAtAnyLineEndAndDropsEmptyOnes) {
    EXPECT_EQ(Texts(Tokens({"\r\nOK\r\n"})), Lines{"OK"});
    EXPECT_EQ(Texts(Tokens({"AT\r\r\nOK\r\n"})), (Lines{"AT", "OK"}));
    EXPECT_EQ(Texts(Tokens({"\r\n+CPIN: RE", "ADY\r\n\r", "\nOK", "\r\n"})),
              (Lines{"+CPIN: READY", "OK"}));
    EXPECT_EQ(Texts(Tokens({"OK"})), Lines{}) << "a line is complete only at its end";
}

TEST(AtTokenizer, RecognisesThePromptWithoutLineEnd) {
    EXPECT_EQ(Texts(Tokens({"AT+CMGS=17\r\r\n> "})), (Lines{"AT+CMGS=17", "<prompt>"}));
    EXPECT_EQ(Texts(Tokens({"\r\n>", " "})), Lines{"<prompt>"});
    EXPECT_EQ(Texts(Tokens({"\r\n>"})), Lines{}) << "half a prompt waits for its blank";
}

TEST(AtTokenizer, GarbageWithoutLineEndsIsNotHeldWithoutBound) {
    // Fed the way the driver reads the port: a chunk at a time, the tokens taken after each.
    AtTokenizer tokenizer;
    std::vector<AtToken> tokens;
    auto feed = [&](std::string_view chunk) {
        tokenizer.feed(chunk);
        while (std::optional<AtToken> token = tokenizer.next())
            tokens.push_back(*token);
    };
    const std::string chunk(512, '\x7F');
    for (int i = 0; i < 4096; ++i) // 2 MiB
        feed(chunk);
    feed("\r\nOK\r\n");
    ASSERT_FALSE(tokens.empty());
    EXPECT_LE(tokens.front().text.size(), 64u * 1024) << "the flood was kept whole";
    EXPECT_EQ(tokens.back().text, "OK") << "the line after the flood is still seen";
}

struct Classified {
    const char* line;
    AtLineKind kind;
    int code;
};

class ClassifyLineTest : public testing::TestWithParam<Classified> {};

TEST_P(ClassifyLineTest, Classifies) {
    AtLine line = ClassifyLine(GetParam().line);
    EXPECT_EQ(line.kind, GetParam().kind) << GetParam().line;
    EXPECT_EQ(line.code, GetParam().code) << GetParam().line;
}

INSTANTIATE_TEST_SUITE_P(
    Table, ClassifyLineTest,
    testing::Values(Classified{"OK", AtLineKind::Ok, -1}, Classified{"ok ", AtLineKind::Ok, -1},
                    Classified{"ERROR", AtLineKind::Error, -1},
                    Classified{"NO CARRIER", AtLineKind::Error, -1},
                    Classified{"COMMAND NOT SUPPORT", AtLineKind::Error, -1},
                    Classified{"+CMS ERROR: 500", AtLineKind::CmsError, 500},
                    Classified{"+CMS ERROR:38", AtLineKind::CmsError, 38},
                    Classified{"+CME ERROR: 10", AtLineKind::CmeError, 10},
                    Classified{"+CME ERROR: SIM not inserted", AtLineKind::CmeError, -1},
                    Classified{"+CMS ERROR: 99999999", AtLineKind::CmsError, -1},
                    Classified{"RING", AtLineKind::Unsolicited, -1},
                    Classified{"+CMTI: \"SM\",3", AtLineKind::Unsolicited, -1},
                    Classified{"^RSSI:17", AtLineKind::Unsolicited, -1},
                    Classified{"+CREG: 1", AtLineKind::Unsolicited, -1},
                    Classified{"+CMGS: 12", AtLineKind::Other, -1},
                    Classified{"OKAY", AtLineKind::Other, -1},
                    Classified{"AT+CMGF=0", AtLineKind::Other, -1}));

struct ExchangeCase {
    const char* name;
    std::string command, prefix;
    bool wantsPrompt;
    std::string input;
    AtResult result;
    int code;
    Lines lines, unsolicited;
};

class AtExchangeTest : public testing::TestWithParam<ExchangeCase> {};

TEST_P(AtExchangeTest, FollowsTheReply) {
    const ExchangeCase& c = GetParam();
    AtExchange exchange(c.command, c.prefix, c.wantsPrompt);
    AtTokenizer tokenizer;
    tokenizer.feed(c.input);
    while (std::optional<AtToken> token = tokenizer.next())
        if (exchange.offer(*token) != AtResult::Pending)
            break;
    EXPECT_EQ(exchange.result(), c.result);
    EXPECT_EQ(exchange.errorCode(), c.code);
    EXPECT_EQ(exchange.lines(), c.lines);
    EXPECT_EQ(exchange.unsolicited(), c.unsolicited);
}

INSTANTIATE_TEST_SUITE_P(
    Table, AtExchangeTest,
    testing::Values(
        ExchangeCase{
            "EchoDropped", "ATE0", "", false, "ATE0\r\r\nOK\r\n", AtResult::Ok, -1, {}, {}},
        ExchangeCase{"ReplyLineKept",
                     "AT+CPIN?",
                     "+CPIN:",
                     false,
                     "\r\n+CPIN: READY\r\n\r\nOK\r\n",
                     AtResult::Ok,
                     -1,
                     {"+CPIN: READY"},
                     {}},
        ExchangeCase{"NoticesSetAside",
                     "AT+CMGF=0",
                     "",
                     false,
                     "\r\n+CMTI: \"SM\",3\r\n\r\n^RSSI:17\r\nOK\r\n",
                     AtResult::Ok,
                     -1,
                     {},
                     {"+CMTI: \"SM\",3", "^RSSI:17"}},
        ExchangeCase{"PromptEndsCmgs",
                     "AT+CMGS=17",
                     "+CMGS:",
                     true,
                     "AT+CMGS=17\r\r\n> ",
                     AtResult::Prompt,
                     -1,
                     {},
                     {}},
        ExchangeCase{"RefusalInsteadOfPrompt",
                     "AT+CMGS=17",
                     "+CMGS:",
                     true,
                     "\r\n+CMS ERROR: 302\r\n",
                     AtResult::CmsError,
                     302,
                     {},
                     {}},
        ExchangeCase{"ConfirmedMessage",
                     "0011",
                     "+CMGS:",
                     false,
                     "\r\n^BOOT:1\r\n\r\n+CMGS: 42\r\n\r\nOK\r\n",
                     AtResult::Ok,
                     -1,
                     {"+CMGS: 42"},
                     {"^BOOT:1"}},
        ExchangeCase{"NetworkRefusal",
                     "0011",
                     "+CMGS:",
                     false,
                     "\r\n+CMS ERROR: 500\r\n",
                     AtResult::CmsError,
                     500,
                     {},
                     {}},
        ExchangeCase{
            "UnaskedPromptIgnored", "AT", "", false, "\r\n> \r\nOK\r\n", AtResult::Ok, -1, {}, {}},
        ExchangeCase{"StrayLineNotTakenForReply",
                     "AT+CPIN?",
                     "+CPIN:",
                     false,
                     "\r\nAT+CMGF=0\r\n\r\n+CPIN: SIM PIN\r\n\r\nOK\r\n",
                     AtResult::Ok,
                     -1,
                     {"+CPIN: SIM PIN"},
                     {"AT+CMGF=0"}},
        ExchangeCase{"EquipmentError",
                     "AT+CPIN?",
                     "+CPIN:",
                     false,
                     "\r\n+CME ERROR: 14\r\n",
                     AtResult::CmeError,
                     14,
                     {},
                     {}},
        ExchangeCase{"Incomplete", "AT", "", false, "AT\r\r\nO", AtResult::Pending, -1, {}, {}}),
    [](const auto& info) { return info.param.name; });

TEST(ValueAfter, FindsTheFirstLineWithThePrefix) {
    EXPECT_EQ(ValueAfter({"x", "+CMGS: 12 "}, "+CMGS:"), "12");
    EXPECT_EQ(ValueAfter({"+cpin: READY"}, "+CPIN:"), "READY");
    EXPECT_EQ(ValueAfter({"OK"}, "+CMGS:"), std::nullopt);
}

} // namespace
