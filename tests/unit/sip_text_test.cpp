// The text layers under the SIP client: JSON and netstring framing of baresip's control channel, its messages, the
// dial plan, the SIP settings file and the files written for baresip.
#include <gtest/gtest.h>

#include "platform/profile_file.h"
#include "sip/baresip_protocol.h"
#include "sip/dial_plan.h"
#include "sip/json_text.h"
#include "sip/netstring.h"
#include "sip/sip_settings.h"

namespace qm {
namespace {

TEST(Json, ReadsTheMembersOfAnEventWithEscapesAndNestedValues) {
  auto o = JsonObject::parse(
      R"( {"event":true,"type":"CALL_CLOSED","param":"486 Busy\nHere \u00e9\ud83d\ude00 \/x","n":-12.5e3,)"
      R"("z":null,"nested":{"a":[1,{"b":"}"}]},"ok":false} )");
  ASSERT_TRUE(o);
  EXPECT_TRUE(o->flag("event"));
  EXPECT_FALSE(o->flag("ok"));
  EXPECT_EQ(o->text("type"), "CALL_CLOSED");
  EXPECT_EQ(o->text("param"), "486 Busy\nHere \xC3\xA9\xF0\x9F\x98\x80 /x");
  EXPECT_EQ(o->find("n")->kind, JsonValue::Kind::Number);
  EXPECT_EQ(o->find("n")->text, "-12.5e3");
  EXPECT_EQ(o->find("z")->kind, JsonValue::Kind::Null);
  EXPECT_EQ(o->find("nested")->text, R"({"a":[1,{"b":"}"}]})");
  EXPECT_EQ(o->text("nested"), "");  // not a string
  EXPECT_EQ(o->text("missing"), "");
}

TEST(Json, TheStringTrueCountsAsAFlagAndDuplicatesKeepTheLast) {
  auto o = JsonObject::parse(R"({"event":"true","a":"1","a":"2"})");
  ASSERT_TRUE(o);
  EXPECT_TRUE(o->flag("event"));
  EXPECT_EQ(o->text("a"), "2");
}

TEST(Json, RefusesWhatIsNotOneObject) {
  std::string problem;
  for (const char* bad :
       {"", "[]", "{", R"({"a")", R"({"a":})", R"({"a":1,})", R"({"a":"x" "b":1})", R"({"a":tru})", R"({"a":"\x"})",
        "{\"a\":\"tab\there\"}", R"({"a":1} {})", R"({"a":01x})", R"({"a":"\ud800)"}) {
    EXPECT_FALSE(JsonObject::parse(bad, &problem)) << bad;
    EXPECT_FALSE(problem.empty()) << bad;
    problem.clear();
  }
  std::string deep(100, '[');
  EXPECT_FALSE(JsonObject::parse("{\"a\":" + deep + std::string(100, ']') + "}"));
}

TEST(Json, ALoneSurrogateBecomesAReplacementCharacter) {
  auto o = JsonObject::parse(R"({"a":"x\ud800y\udc00"})");
  ASSERT_TRUE(o);
  EXPECT_EQ(o->text("a"), "x\xEF\xBF\xBDy\xEF\xBF\xBD");
}

TEST(Json, QuotesEveryCharacterThatNeedsIt) {
  EXPECT_EQ(jsonQuote("sip:bob@example.com"), "\"sip:bob@example.com\"");
  EXPECT_EQ(jsonQuote("a\"b\\c\nd\re\tf\x01g"), R"("a\"b\\c\nd\re\tf\u0001g")");
  EXPECT_EQ(jsonQuote("\xFF"), "\"\xEF\xBF\xBD\"");  // not UTF-8: replaced, so the result is valid JSON
  auto back = JsonObject::parse("{\"k\":" + jsonQuote("x\"\\\n\x02y") + "}");
  ASSERT_TRUE(back);
  EXPECT_EQ(back->text("k"), "x\"\\\n\x02y");
}

TEST(Netstring, FramesAndReadsMessagesInAnyPieces) {
  EXPECT_EQ(netstring("hello"), "5:hello,");
  EXPECT_EQ(netstring(""), "0:,");
  std::string stream = netstring("{\"a\":1}") + netstring("") + netstring("x,y:z");
  NetstringReader whole;
  EXPECT_EQ(whole.feed(stream), (std::vector<std::string>{"{\"a\":1}", "", "x,y:z"}));
  // One byte at a time gives the same messages.
  NetstringReader bytes;
  std::vector<std::string> got;
  for (char c : stream)
    for (auto& f : bytes.feed(std::string(1, c))) got.push_back(f);
  EXPECT_EQ(got, (std::vector<std::string>{"{\"a\":1}", "", "x,y:z"}));
  EXPECT_FALSE(bytes.failed());
}

TEST(Netstring, AMalformedStreamFailsUntilReset) {
  for (const char* bad : {"5:hello;", "x:", ":abc,", "05:hello,", "1234567890:", "99999999:"}) {
    NetstringReader r;
    EXPECT_TRUE(r.feed(bad).empty()) << bad;
    EXPECT_TRUE(r.failed()) << bad;
    EXPECT_TRUE(r.feed("1:a,").empty());  // nothing more once failed
    r.reset();
    EXPECT_EQ(r.feed("1:a,"), std::vector<std::string>{"a"});
  }
  // A frame that stops halfway is not a failure: the rest may come.
  NetstringReader partial;
  EXPECT_TRUE(partial.feed("5:hel").empty());
  EXPECT_FALSE(partial.failed());
  EXPECT_EQ(partial.feed("lo,"), std::vector<std::string>{"hello"});
}

TEST(BaresipProtocol, ReadsEventsAndResponsesAsBaresipSendsThem) {
  std::string problem;
  auto e = parseBaresipMessage(
      R"({"event":true,"type":"CALL_RINGING","class":"call","accountaor":"sip:quillmere@127.0.0.1",)"
      R"("direction":"outgoing","peeruri":"sip:service@127.0.0.1:5070","id":"29791a17119cec63",)"
      R"("param":"sip:service@127.0.0.1:5070"})",
      problem);
  ASSERT_TRUE(e);
  auto& event = std::get<BaresipEvent>(*e);
  EXPECT_EQ(event.eventClass, "call");
  EXPECT_EQ(event.type, "CALL_RINGING");
  EXPECT_EQ(event.callId, "29791a17119cec63");
  EXPECT_EQ(event.direction, "outgoing");
  EXPECT_EQ(event.peerUri, "sip:service@127.0.0.1:5070");
  EXPECT_EQ(event.param, "sip:service@127.0.0.1:5070");

  auto r = parseBaresipMessage(R"({"response":true,"ok":false,"data":"command not found (mute)\n","token":"mute"})",
                               problem);
  ASSERT_TRUE(r);
  auto& response = std::get<BaresipResponse>(*r);
  EXPECT_FALSE(response.ok);
  EXPECT_EQ(response.data, "command not found (mute)\n");
  EXPECT_EQ(response.token, "mute");

  EXPECT_FALSE(parseBaresipMessage(R"({"hello":1})", problem));
  EXPECT_EQ(problem, "neither an event nor a response");
  EXPECT_FALSE(parseBaresipMessage("nonsense", problem));
}

TEST(BaresipProtocol, AReasonFromTheFarEndCarriesNoTerminalEscapesAndIsBounded) {
  std::string problem;
  auto e = parseBaresipMessage(R"({"event":true,"type":"REGISTER_FAIL","class":"register",)"
                               R"("param":"403 \u001b]0;owned\u0007\u001b[31mForbidden\r\n)" +
                                   std::string(500, 'x') + "\"}",
                               problem);
  ASSERT_TRUE(e) << problem;
  const std::string& reason = std::get<BaresipEvent>(*e).param;
  EXPECT_EQ(reason.substr(0, 30), "403 ?]0;owned??[31mForbidden??");
  EXPECT_EQ(reason.size(), 203u);
}

TEST(BaresipProtocol, WritesCommandsWithTheirParametersAndToken) {
  EXPECT_EQ(baresipCommand("dial", "sip:a@b", "dial 1"), R"({"command":"dial","params":"sip:a@b","token":"dial 1"})");
  EXPECT_EQ(baresipCommand("hangup", "", ""), R"({"command":"hangup"})");
  EXPECT_EQ(sipStatusOf("486 Busy Here"), 486);
  EXPECT_EQ(sipStatusOf("603"), 603);
  EXPECT_EQ(sipStatusOf("Connection reset by peer"), 0);
  EXPECT_EQ(sipStatusOf("4860 x"), 0);
  EXPECT_EQ(sipStatusOf("099 x"), 0);
}

TEST(DialPlan, SipAddressesNumbersAndNames) {
  DialPlan plan{"sip:{number}@provider.example", "", "example.org"};
  EXPECT_EQ(resolveTarget(plan, "sip:bob@biloxi.example.com").uri, "sip:bob@biloxi.example.com");
  EXPECT_EQ(resolveTarget(plan, " SIPS:bob@x.example ").uri, "SIPS:bob@x.example");
  EXPECT_EQ(resolveTarget(plan, "5551234").uri, "sip:5551234@provider.example");
  EXPECT_EQ(resolveTarget(plan, "+49 (30) 123-45.6").uri, "sip:+4930123456@provider.example");
  EXPECT_EQ(resolveTarget(plan, "0049301234").uri, "sip:0049301234@provider.example");
  EXPECT_EQ(resolveTarget(plan, "echo123").uri, "sip:echo123@example.org");
  EXPECT_EQ(resolveTarget(plan, "alice@atlanta.example:5062").uri, "sip:alice@atlanta.example:5062");
  EXPECT_EQ(resolveTarget(plan, "+1555@gw.example").uri, "sip:+1555@gw.example");
}

TEST(DialPlan, TheInternationalPrefixReplacesPlusAnd00) {
  DialPlan plan{"sip:{number}@{domain};user=phone", "+", "voip.example"};
  EXPECT_EQ(resolveTarget(plan, "004930123").uri, "sip:+4930123@voip.example;user=phone");
  EXPECT_EQ(resolveTarget(plan, "+4930123").uri, "sip:+4930123@voip.example;user=phone");
  EXPECT_EQ(resolveTarget(plan, "030123").uri, "sip:030123@voip.example;user=phone");
  plan.internationalPrefix = "00";
  EXPECT_EQ(resolveTarget(plan, "+4930123").uri, "sip:004930123@voip.example;user=phone");
  EXPECT_EQ(resolveTarget(plan, "00").uri, "sip:00@voip.example;user=phone");
}

TEST(DialPlan, WhatCannotBeDialledSaysWhy) {
  DialPlan none{"", "", ""};
  auto number = resolveTarget(none, "5551234");
  EXPECT_EQ(number.uri, "");
  EXPECT_NE(number.problem.find("dial pattern"), std::string::npos);
  EXPECT_NE(resolveTarget(none, "echo123").problem.find("domain"), std::string::npos);
  DialPlan plan{"sip:{number}@p.example", "", "p.example"};
  for (const char* bad : {"", "  ", "*#12", "a b", "bob@", "@host", "bob@ho st", "1two", "sip:", "sip:a b@c", "sip:<x>",
                          "alice@host:99999"}) {
    auto r = resolveTarget(plan, bad);
    EXPECT_EQ(r.uri, "") << bad;
    EXPECT_FALSE(r.problem.empty()) << bad;
  }
  EXPECT_NE(resolveTarget({"sip:x@p.example", "", ""}, "123").problem.find("{number}"), std::string::npos);
  EXPECT_EQ(numberPatternProblem("sip:{number}@p.example"), "");
  EXPECT_EQ(numberPatternProblem("tel:{number}"), "it is not a sip: or sips: address without blanks");
}

TEST(SipSettingsFile, DefaultsWhenTheFileIsEmpty) {
  std::vector<std::string> problems;
  SipSettings s = readSipSettings(ProfileFile::parse(""), "quillmere_sip.ini", problems);
  EXPECT_TRUE(problems.empty());
  EXPECT_EQ(s, SipSettings{});
  EXPECT_EQ(s.audioDriver, "alsa");
  EXPECT_EQ(s.controlPort, 0);
  EXPECT_EQ(s.accountDomain(), "");
  EXPECT_EQ(baresipAccounts(s),
            "# Written by Quillmere each time it starts baresip: change quillmere_sip.ini instead.\n"
            "<sip:quillmere@127.0.0.1>;answermode=manual;regint=0\n");
}

TEST(SipSettingsFile, AProviderAccountGoesIntoBaresipsFiles) {
  std::vector<std::string> problems;
  SipSettings s = readSipSettings(
      ProfileFile::parse("[SETTINGS]\r\nAccount=sip:4912345@sip.provider.example:5060\r\nAuthUser=4912345\r\n"
                         "Password=s3cr#t!\r\nOutbound=sip:proxy.provider.example;transport=tcp\r\n"
                         "AccountOptions=;transport=tcp\r\nAudioDriver=pulse\r\nInputDevice=radio_in\r\n"
                         "OutputDevice=radio_out\r\nListenAddress=192.168.1.20:5060\r\nControlPort=4444\r\n"
                         "RegisterInterval=120\r\n"),
      "quillmere_sip.ini", problems);
  EXPECT_TRUE(problems.empty()) << problems.front();
  EXPECT_EQ(s.accountDomain(), "sip.provider.example");
  EXPECT_EQ(s.dialPlan().domain, "sip.provider.example");
  // It registers, so it is added over the control channel once that is open, not loaded from the file.
  EXPECT_EQ(baresipAccounts(s).find("4912345"), std::string::npos);
  EXPECT_EQ(baresipAccountLine(s),
            "<sip:4912345@sip.provider.example:5060>;auth_user=4912345;auth_pass=s3cr#t!"
            ";outbound=\"sip:proxy.provider.example;transport=tcp\";answermode=manual;regint=120;transport=tcp");
  std::string config = baresipConfig(s, 4444);
  for (const char* line :
       {"sip_listen      192.168.1.20:5060\n", "net_interface   192.168.1.20\n", "audio_player    pulse,radio_out\n",
        "audio_source    pulse,radio_in\n", "ctrl_tcp_listen 127.0.0.1:4444\n", "module          pulse.so\n",
        "module_app      ctrl_tcp.so\n", "module_app      menu.so\n", "module_path     /usr/lib/baresip/modules\n",
        "statmode_default off\n"})
    EXPECT_NE(config.find(line), std::string::npos) << line << config;
  // Listening on every address binds the media nowhere in particular.
  s.listenAddress = "0.0.0.0:5060";
  EXPECT_EQ(baresipConfig(s, 1).find("net_interface"), std::string::npos);
}

TEST(SipSettingsFile, BadValuesAreNamedAndReplacedByTheirDefaults) {
  std::vector<std::string> problems;
  SipSettings s = readSipSettings(
      ProfileFile::parse("[SETTINGS]\nAccount=bob@example.com\nPassword=with space\nRegister=yes\n"
                         "DialPattern=sip:x@y\nInternationalPrefix=++\nAudioDriver=Alsa!\nInputDevice=\n"
                         "ListenAddress=localhost:5060\nControlPort=70000\nProgram=\nNameDomain=-x\n"
                         "Outbound=proxy\nAccountOptions=transport=tcp\n"),
      "/home/n0call/quillmere_sip.ini", problems);
  EXPECT_EQ(s, SipSettings{});
  ASSERT_EQ(problems.size(), 13u);
  EXPECT_EQ(problems[0],
            "/home/n0call/quillmere_sip.ini: the value \"bob@example.com\" of Account is not a sip: address without "
            "blanks; using \"\" instead.");
  EXPECT_EQ(problems[1].find("with space"), std::string::npos);  // a password is never shown
  EXPECT_NE(problems[1].find("(hidden)"), std::string::npos);
}

TEST(SipSettingsFile, ValuesThatAreFine) {
  for (auto [key, value] : std::vector<std::pair<std::string, std::string>>{{"Account", "sips:alice@example.com"},
                                                                            {"ListenAddress", "127.0.0.1:5062"},
                                                                            {"ListenAddress", "[::1]:5062"},
                                                                            {"ControlPort", "0"},
                                                                            {"InternationalPrefix", "011"},
                                                                            {"Register", "0"},
                                                                            {"InputDevice", "plughw:CARD=Device,DEV=0"},
                                                                            {"NameDomain", "sip.example:5080"}})
    EXPECT_EQ(sipSettingProblem(key, value), "") << key << "=" << value;
  for (auto [key, value] : std::vector<std::pair<std::string, std::string>>{{"Account", "sip:@example.com"},
                                                                            {"Account", "sip:alice@"},
                                                                            {"ListenAddress", "127.0.0.1"},
                                                                            {"ListenAddress", "300.0.0.1:5060"},
                                                                            {"ListenAddress", "[::1]:0"},
                                                                            {"AuthUser", "a;b"}})
    EXPECT_NE(sipSettingProblem(key, value), "") << key << "=" << value;
}

TEST(SipSettingsFile, OnlyChangesToWhatBaresipIsGivenNeedARestart) {
  SipSettings a, b;
  b.dialPattern = "sip:{number}@elsewhere.example";
  b.nameDomain = "elsewhere.example";
  EXPECT_FALSE(a.agentDiffers(b));
  b.password = "new";
  EXPECT_FALSE(a.agentDiffers(b));  // no account: the password goes nowhere
  b.account = "sip:a@b.example";
  EXPECT_TRUE(a.agentDiffers(b));
  SipSettings c;
  c.controlPort = 5000;
  EXPECT_TRUE(a.agentDiffers(c));
  SipSettings d;
  d.program = "/opt/baresip/bin/baresip";
  EXPECT_TRUE(a.agentDiffers(d));
  // A registering account reaches baresip over its control channel, not in its files: a new password still counts.
  SipSettings e = b;
  e.password = "newer";
  EXPECT_TRUE(b.registers() && b.agentDiffers(e));
}

}  // namespace
}  // namespace qm
