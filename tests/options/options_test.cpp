// The option scanner and lookup, natively and under Wine. The module's file
// name is given, as the system would report it for the running program.
#include "app/options.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

namespace {

const char kModule[] = "C:\\Program Files\\Tovra\\TovraSetup.exe";

struct FreeTable {
  void operator()(OptionTable *table) const { FreeOptionTable(table); }
};

// One parse into a table with a spare slot past the capacity, so a write
// beyond the capacity shows.
struct Parsed {
  explicit Parsed(const std::string &text, int capacity = 20, const char *module = kModule)
      : table(NewOptionTable(capacity + 1)),
        count(ScanCommandLine(text.c_str(), module, table.get(), capacity)),
        capacity(capacity) {}
  const char *Find(const char *name) const { return FindOption(name, table.get(), count); }
  const OptionSlot &Slot(int i) const { return table.get()[i]; }
  bool SpareUntouched() const {
    const OptionSlot &spare = Slot(capacity);
    return spare.name[0] == '\0' && spare.value[0] == '\0';
  }

  std::unique_ptr<OptionTable, FreeTable> table;
  int count;
  int capacity;
};

// What a line gives, in one string to compare: the count, target_dir's value
// in brackets ("-" when absent) and "auto" when auto_setup is there.
std::string Summary(const std::string &line) {
  const Parsed parsed(line);
  const char *folder = parsed.Find("target_dir");
  return std::to_string(parsed.count) + " [" + (folder ? folder : "-") + "]" +
         (parsed.Find("auto_setup") ? " auto" : "");
}

}  // namespace

TEST(OptionsProgramPath, OnlyTheProgramsPathGivesNoOptions) {
  for (const char *line :
       {"C:\\Program Files\\Tovra\\TovraSetup.exe", "\"C:\\Program Files\\Tovra\\TovraSetup.exe\"",
        "\"C:\\Program Files\\Tovra\\TovraSetup.exe\"   ", "C:\\Tovra\\TovraSetup.exe  ",
        "TovraSetup.exe"}) {
    EXPECT_EQ(0, Parsed(line).count) << line;
  }
}

TEST(OptionsProgramPath, FoundCaseBlindAndSkippedQuotedOrNot) {
  Parsed quoted("\"C:\\PROGRAM FILES\\TOVRA\\TOVRASETUP.EXE\" -auto_setup");
  EXPECT_EQ(1, quoted.count);
  EXPECT_NE(nullptr, quoted.Find("auto_setup"));
  Parsed bare("tovrasetup.exe -auto_setup");
  EXPECT_EQ(1, bare.count);
}

TEST(OptionsProgramPath, StartedWithoutItsExtensionGivesNoOptions) {
  EXPECT_EQ(0, Parsed("TovraSetup -auto_setup -target_dir D:\\x").count);
  EXPECT_EQ(0, Parsed("\"C:\\Tovra\\TovraSetup\" -auto_setup").count);
}

TEST(OptionsProgramPath, OnlyTheFirst2599CharactersAreSearched) {
  std::string folder(2590, 'x');
  EXPECT_EQ(0, Parsed("\"C:\\" + folder + "\\TovraSetup.exe\" -auto_setup").count);
  // Found in time, the options are read from the text beyond the working copy.
  std::string value(3000, 'v');
  Parsed late("TovraSetup.exe -target_dir " + value);
  ASSERT_EQ(1, late.count);
  EXPECT_EQ(std::string(1999, 'v'), late.Find("target_dir"));
}

TEST(OptionsProgramPath, WithTheFlagClearTheWholeTextIsOptions) {
  Parsed parsed("-auto_setup -target_dir D:\\x", 20, nullptr);
  EXPECT_EQ(2, parsed.count);
  EXPECT_STREQ("D:\\x", parsed.Find("target_dir"));
}

TEST(OptionsValues, AutoSetupLastHasAnEmptyValue) {
  Parsed parsed("TovraSetup.exe -target_dir D:\\Tovra -auto_setup");
  ASSERT_EQ(2, parsed.count);
  ASSERT_NE(nullptr, parsed.Find("auto_setup"));
  EXPECT_STREQ("", parsed.Find("auto_setup"));
  EXPECT_STREQ("D:\\Tovra", parsed.Find("target_dir"));
  EXPECT_EQ(nullptr, parsed.Find("target"));
}

TEST(OptionsValues, QuotedFolderKeepsItsBlanks) {
  Parsed parsed("\"C:\\a b\\TovraSetup.exe\" -target_dir \"D:\\My Apps\\Tovra 3\" -auto_setup");
  ASSERT_EQ(2, parsed.count);
  EXPECT_STREQ("D:\\My Apps\\Tovra 3", parsed.Find("target_dir"));
}

TEST(OptionsValues, SlashMarksAnOptionLikeADash) {
  // The value's slashes start nothing.
  EXPECT_EQ("2 [D:/apps/tovra] auto",
            Summary("TovraSetup.exe /target_dir D:/apps/tovra /auto_setup"));
}

TEST(OptionsValues, AnOptionRightAfterAnotherLeavesItEmpty) {
  EXPECT_EQ("2 [] auto", Summary("TovraSetup.exe -target_dir -auto_setup"));
}

TEST(OptionsValues, NamesFoundCaseBlindValuesKeepTheirCase) {
  Parsed parsed("TOVRASETUP.EXE -TARGET_DIR D:\\Tovra\\ABC -Target_Dir E:\\second");
  ASSERT_EQ(2, parsed.count);
  EXPECT_STREQ("TARGET_DIR", parsed.Slot(0).name);
  EXPECT_STREQ("D:\\Tovra\\ABC", parsed.Find("target_dir"));  // the first one wins
}

TEST(OptionsValues, QuotedValueFollowedDirectlyByAnOptionHidesIt) {
  EXPECT_EQ("1 [D:\\x]", Summary("TovraSetup.exe -target_dir \"D:\\x\"-auto_setup"));
  // One character further on, the marker is seen again.
  EXPECT_EQ(2, Parsed("TovraSetup.exe -target_dir \"D:\\x\" -auto_setup").count);
}

TEST(OptionsValues, UnterminatedQuoteLeavesTheValueEmpty) {
  EXPECT_EQ("2 [] auto", Summary("TovraSetup.exe -target_dir \"D:\\x -auto_setup"));
  // Scanning goes on two characters after the quote, past a marker there.
  EXPECT_EQ(1, Parsed("TovraSetup.exe -target_dir \"-auto_setup").count);
}

TEST(OptionsMarkers, AFinalMarkerIsNoOption) {
  EXPECT_EQ(1, Parsed("TovraSetup.exe -auto_setup -").count);
  EXPECT_EQ(0, Parsed("-", 20, nullptr).count);
  EXPECT_EQ(0, Parsed("TovraSetup.exe /").count);
}

TEST(OptionsMarkers, ADoubledMarkerBelongsToTheName) {
  Parsed parsed("TovraSetup.exe --auto_setup");
  ASSERT_EQ(1, parsed.count);
  EXPECT_STREQ("-auto_setup", parsed.Slot(0).name);
  EXPECT_EQ(nullptr, parsed.Find("auto_setup"));
}

TEST(OptionsMarkers, AMarkerInsideAPassedOverWordStartsAnOption) {
  Parsed parsed("TovraSetup.exe stray-auto_setup");
  ASSERT_EQ(1, parsed.count);
  EXPECT_STREQ("auto_setup", parsed.Slot(0).name);
}

TEST(OptionsLimits, A70CharacterNameSpillsIntoItsValue) {
  std::string name(63, 'n');
  Parsed parsed("TovraSetup.exe -" + name + "vvvvvvv -auto_setup");
  ASSERT_EQ(2, parsed.count);
  EXPECT_EQ(name, parsed.Slot(0).name);
  EXPECT_STREQ("vvvvvvv", parsed.Slot(0).value);
}

TEST(OptionsLimits, ALongQuotedValueIsCutTo1999) {
  std::string value(2500, 'q');
  Parsed parsed("TovraSetup.exe -target_dir \"" + value + "\" -auto_setup");
  ASSERT_EQ(2, parsed.count);
  EXPECT_EQ(value.substr(0, 1999), parsed.Find("target_dir"));
}

TEST(OptionsLimits, CapacityStopsTheScanWhateverFilledTheLastSlot) {
  // The 20th option in each of its forms, followed by a 21st.
  for (const char *twentieth : {"-o20 bare", "-o20 \"quoted value\"", "-o20", "-o20 \"open"}) {
    std::string line = "TovraSetup.exe";
    for (int i = 1; i < 20; ++i) line += " -o" + std::to_string(i) + (i % 2 ? " v" : "");
    line += std::string(" ") + twentieth + " -o21 last";
    Parsed parsed(line);
    EXPECT_EQ(20, parsed.count) << twentieth;
    EXPECT_STREQ("o20", parsed.Slot(19).name) << twentieth;
    EXPECT_TRUE(parsed.SpareUntouched()) << twentieth;
  }
}

TEST(OptionsLimits, CapacityZeroStoresNothing) {
  Parsed parsed("TovraSetup.exe -auto_setup", 0);
  EXPECT_EQ(0, parsed.count);
  EXPECT_TRUE(parsed.SpareUntouched());
}

TEST(OptionsTable, NoTableReadsAsNoOptions) {
  EXPECT_EQ(nullptr, NewOptionTable(0));
  EXPECT_EQ(0, ScanCommandLine("-auto_setup", nullptr, nullptr, 20));
  EXPECT_EQ(nullptr, FindOption("auto_setup", nullptr, 1));
  FreeOptionTable(nullptr);
  std::unique_ptr<OptionTable, FreeTable> table(NewOptionTable(20));
  ASSERT_NE(nullptr, table);
  EXPECT_STREQ("", table.get()[19].name);
  EXPECT_STREQ("", table.get()[19].value);
  EXPECT_EQ(nullptr, FindOption("", table.get(), 0));
}
