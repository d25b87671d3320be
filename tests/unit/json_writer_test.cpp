// The one JSON writer: commas where JSON needs them at any depth, members written apart and
// appended, texts that are not UTF-8 given as bytes too, numbers with fixed decimals.
#include "common/json_writer.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace vorlanth {
namespace {

TEST(JsonWriter, CommasBetweenMembersAndElementsAtEveryDepth) {
    JsonWriter json;
    json.beginObject().key("a").number(1).key("list").beginArray();
    json.beginObject().key("b").string("x").endObject();
    json.beginObject().endObject();
    json.beginArray().endArray();
    json.number(std::uint64_t{18446744073709551615u}).number(-3).boolean(false);
    json.endArray().key("empty").beginObject().endObject().key("ok").boolean(true).endObject();
    EXPECT_EQ(json.text(),
              R"({"a":1,"list":[{"b":"x"},{},[],18446744073709551615,-3,false],"empty":{},)"
              R"("ok":true})");
}

TEST(JsonWriter, NamesAndTextsAreQuoted) {
    JsonWriter json;
    json.beginObject().key("a\"b").string("line\nend").endObject();
    EXPECT_EQ(json.text(), R"({"a\"b":"line\nend"})");
}

// Members written by a members-only writer go into another writer's object: led by a comma
// after a member, without it as the object's first.
TEST(JsonWriter, MembersWrittenApartAreAppended) {
    JsonWriter members = JsonWriter::membersOnly();
    members.key("x").number(1).key("y").beginArray().number(2).endArray();
    EXPECT_EQ(members.text(), R"(,"x":1,"y":[2])");

    JsonWriter after;
    after.beginObject().key("event").string("e").append(members.text()).key("z").number(3);
    EXPECT_EQ(after.endObject().text(), R"({"event":"e","x":1,"y":[2],"z":3})");

    JsonWriter first;
    first.beginObject().append(members.text()).append("").key("z").number(3).endObject();
    EXPECT_EQ(first.text(), R"({"x":1,"y":[2],"z":3})");
}

TEST(JsonWriter, TextThatIsNotUtf8AlsoComesAsBytes) {
    JsonWriter json;
    json.beginObject().textMember("file", "/t/\xC3\xA9").textMember("bad", "a\xFF").endObject();
    EXPECT_EQ(json.text(),
              "{\"file\":\"/t/\xC3\xA9\",\"bad\":\"a\xEF\xBF\xBD\",\"bad_bytes\":\"61ff\"}");
}

TEST(JsonWriter, FixedDecimalsForAnySize) {
    JsonWriter json;
    json.beginArray().fixed(24.5, 3).fixed(0.0958, 3).fixed(1e20, 3).endArray();
    EXPECT_EQ(json.text(), "[24.500,0.096,100000000000000000000.000]");
}

}  // namespace
}  // namespace vorlanth
