// MergeNode: by element name, user values kept, missing parts added.
#include <gtest/gtest.h>

#include <string>

#include "app/config/ConfigTypes.h"
#include "app/config/XMLMarge.h"

namespace tarnix {
namespace {

struct Docs {
  pugi::xml_document source;
  pugi::xml_document target;
  Docs(const char* s, const char* t) {
    EXPECT_TRUE(source.load_string(s));
    EXPECT_TRUE(target.load_string(t));
  }
  std::string Merged(bool overwrite, bool addMissing) {
    MergeNode(source.document_element(), target.document_element(), overwrite, addMissing);
    return NodeXml(target.document_element());
  }
};

TEST(ConfigMergeTest, KeepsUserValuesAndAddsWhatIsMissing) {
  Docs docs(R"(<config><syscon><launchnum>0</launchnum><mainform left="70" top="100" width="225" height="300"/>)"
            R"(<showonstart>1</showonstart></syscon></config>)",
            R"(<config><syscon><launchnum>7</launchnum><mainform left="5" top="6"/><extra>x</extra></syscon></config>)");
  EXPECT_EQ(docs.Merged(false, true),
            R"(<config><syscon><launchnum>7</launchnum><mainform left="5" top="6" width="225" height="300"/>)"
            R"(<extra>x</extra><showonstart>1</showonstart></syscon></config>)");
}

TEST(ConfigMergeTest, OverwriteReplacesTextAndAttributes) {
  Docs docs(R"(<r a="1"><t>new</t><u k="2"/></r>)", R"(<r a="0" b="9"><t>old</t><u k="1"/><v/></r>)");
  EXPECT_EQ(docs.Merged(true, false), R"(<r a="1" b="9"><t>new</t><u k="2"/><v/></r>)");
}

TEST(ConfigMergeTest, AMissingChildIsCopiedWhole) {
  Docs docs(R"(<r><p q="1"><c>text</c><d><e z="z">deep</e></d></p></r>)", R"(<r/>)");
  EXPECT_EQ(docs.Merged(false, false), R"(<r><p q="1"><c>text</c><d><e z="z">deep</e></d></p></r>)");
}

TEST(ConfigMergeTest, AfterAnAppendedChildLaterSiblingsGetMissingAttributes) {
  // a is merged without adding; b is missing and appended; from then on c is
  // merged with adding switched on.
  Docs docs(R"(<r><a q="1"/><b/><c q="3"/></r>)", R"(<r><a/><c/></r>)");
  EXPECT_EQ(docs.Merged(false, false), R"(<r><a/><c q="3"/><b/></r>)");
}

TEST(ConfigMergeTest, MatchesTheFirstChildOfAName) {
  Docs docs(R"(<r><m><x>1</x></m></r>)", R"(<r><m><y/></m><m/></r>)");
  EXPECT_EQ(docs.Merged(false, true), R"(<r><m><y/><x>1</x></m><m/></r>)");
}

TEST(ConfigMergeTest, NullNodesAreIgnored) {
  pugi::xml_document doc;
  doc.load_string("<r/>");
  MergeNode(pugi::xml_node(), doc.document_element(), true, true);
  MergeNode(doc.document_element(), pugi::xml_node(), true, true);
  EXPECT_EQ(NodeXml(doc.document_element()), "<r/>");
}

}  // namespace
}  // namespace tarnix
