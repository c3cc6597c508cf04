#include "platform/automation/automation.h"
#include "support/log.h"

#include <gtest/gtest.h>
#include <signal.h>

#include "testing/temp_module.h"

namespace larkedi::automation {
namespace {

const std::string kServer = std::string(LARKEDI_TOOLS_OUT) + "/larkedi-fake-validation";

// Serves "Fake.Module" (and "Fake.<misbehaviour>") with the fake validation module.
std::optional<std::string> Resolve(const std::string& progId) {
  if (progId == "Fake.Module") return "\"" + kServer + "\"";
  if (progId.rfind("Fake.", 0) == 0) return kServer + " --misbehave=" + progId.substr(5);
  if (progId == "Missing.Server") return std::string("/nonexistent/folder/server -Embedding");
  return std::nullopt;
}

class AutomationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    AutomationOptions options;
    options.call_timeout = std::chrono::seconds(3);
    options.release_wait = std::chrono::seconds(1);
    previous_ = SetAutomationOptions(options);
  }
  void TearDown() override { SetAutomationOptions(previous_); }

  std::shared_ptr<AutomationObject> Create(const std::string& progId = "Fake.Module") {
    Err err;
    auto object = CreateObject(progId, &err);
    EXPECT_TRUE(object) << err.Description;
    return object;
  }
  static pid_t PidOf(AutomationObject& object) {
    Variant pid;
    Err err = object.Call("Pid", &pid);
    EXPECT_FALSE(err) << err.Description;
    return static_cast<pid_t>(pid.AsLong());
  }
  static bool Alive(pid_t pid) { return ::kill(pid, 0) == 0; }

  ScopedLocalServerResolver resolver_{Resolve};
  AutomationOptions previous_;
};

// Results keep their type across the process boundary. (Arguments the object changes
// reaching the caller is also the validation module's test.)
TEST_F(AutomationTest, ResultsKeepTheirTypeAndArgumentsComeBack) {
  auto object = Create();
  ASSERT_TRUE(object);
  std::vector<Variant> args{"<Design/>"};
  Variant result;
  ASSERT_FALSE(object->Call("Upper", args, &result));
  EXPECT_EQ(args[0].AsString(), "<DESIGN/>");
  EXPECT_EQ(result.type(), Variant::Type::Long);
  ASSERT_FALSE(object->Call("Nothing", &result));
  EXPECT_TRUE(result.IsNull());
  args = {"yes"};
  ASSERT_FALSE(object->Call("IsTrue", args, &result));
  EXPECT_EQ(result.type(), Variant::Type::Bool);
  args = {5};
  ASSERT_FALSE(object->Call("Half", args, &result));
  EXPECT_DOUBLE_EQ(result.AsDouble(), 2.5);
}

TEST_F(AutomationTest, ErrorFromTheObjectKeepsNumberAndDescription) {
  auto object = Create();
  ASSERT_TRUE(object);
  Variant value;
  EXPECT_EQ(object->Get("NoSuchProperty", &value).Number, kErrNoSuchMember);
  std::vector<Variant> args{1234, "the catalog is unknown"};
  Err err = object->Call("Fail", args, nullptr);
  EXPECT_EQ(err.Number, 1234);
  EXPECT_EQ(err.Description, "the catalog is unknown");
  EXPECT_EQ(err.Source, "FakeValidation.Module");
  // An error answer is not a failure of the object: it goes on serving.
  Variant result;
  args = {"still here"};
  ASSERT_FALSE(object->Call("Echo", args, &result));
  EXPECT_EQ(result.AsString(), "still here");
}

TEST_F(AutomationTest, ObjectsThatCannotBeCreated) {
  Err err;
  // The reason reaches the caller: a missing program, a refusal, a server that ends.
  for (auto [progId, reason] : {std::pair{"Missing.Server", "No such file"},
                                {"Fake.refuse", "not licensed"},
                                {"Fake.exit", ""}}) {
    EXPECT_FALSE(CreateObject(progId, &err));
    EXPECT_EQ(err.Number, kErrCannotCreateObject) << progId;
    EXPECT_NE(err.Description.find(reason), std::string::npos) << err.Description;
  }
  SetLocalServerResolver({});
  EXPECT_FALSE(CreateObject("Fake.Module", &err));
}

TEST_F(AutomationTest, CrashHangAndMalformedAnswersFailTheCallAndEndTheProcess) {
  for (const char* how : {"crash", "hang", "badjson", "silent-exit"}) {
    SCOPED_TRACE(how);
    // The hanging call is given up after a short time-out.
    AutomationOptions options = CurrentAutomationOptions();
    options.call_timeout = std::chrono::seconds(std::string(how) == "hang" ? 1 : 3);
    SetAutomationOptions(options);
    auto object = Create();
    ASSERT_TRUE(object);
    pid_t pid = PidOf(*object);
    ASSERT_FALSE(object->Put("Misbehave", how));
    std::vector<Variant> args{"<Design/>"};
    Variant result;
    Err err = object->Call("ValidateCatalog", args, &result);
    EXPECT_EQ(err.Number, std::string(how) == "hang" ? kErrCallTimeout : kErrRemoteCallFailed)
        << err.Description;
    EXPECT_EQ(args[0].AsString(), "<Design/>");
    EXPECT_FALSE(Alive(pid));  // killed (or ended) and reaped
    err = object->Call("Echo", args, &result);
    EXPECT_EQ(err.Number, kErrServerUnavailable);
  }
}

TEST_F(AutomationTest, AChattyErrorOutputNeitherBlocksNorGetsLost) {
  testing::TempModule module;
  module.EnableLogging();
  auto object = Create();
  ASSERT_TRUE(object);
  ASSERT_FALSE(object->Put("Misbehave", "noisy"));
  std::vector<Variant> args{"<Design><Catalog/></Design>"};
  Variant result;
  Err err = object->Call("ValidateCatalog", args, &result);
  ASSERT_FALSE(err) << err.Description;
  object.reset();
  std::string log = testing::ReadFileOrEmpty(LogPath());
  EXPECT_NE(log.find("Fake.Module: xxxxxxxx"), std::string::npos);
}

// Properties, objects the server returns, and the server process living as long as any
// of its objects.
TEST_F(AutomationTest, PropertiesAndObjectsKeepTheServerAlive) {
  auto object = Create();
  ASSERT_TRUE(object);
  Variant value;
  pid_t pid = PidOf(*object);
  Variant child;
  ASSERT_FALSE(object->Get("Child", &child));
  ASSERT_TRUE(child.IsObject());
  ASSERT_FALSE(child.AsObject()->Put("UnlockOrca", true));
  ASSERT_FALSE(object->Get("Unlocked", &value));
  EXPECT_TRUE(value.AsBool());
  object.reset();
  EXPECT_TRUE(Alive(pid));  // the child object still holds the server
  Variant name;
  ASSERT_FALSE(child.AsObject()->Call("Name", &name));
  EXPECT_EQ(name.AsString(), "child");
  child = Variant();
  EXPECT_FALSE(Alive(pid));
}

TEST_F(AutomationTest, BuiltinClassesComeFirst) {
  RegisterBuiltinClass("Fake.Module", [](Err*) {
    auto object = std::make_shared<DispatchObject>("Builtin");
    object->AddMethod("Upper", [](std::vector<Variant>& args, Variant* result) {
      args.at(0) = "built in";
      *result = true;
      return Err{};
    });
    return object;
  });
  auto object = Create("FAKE.MODULE");
  ASSERT_TRUE(object);
  std::vector<Variant> args{"x"};
  Variant result;
  ASSERT_FALSE(object->Call("upper", args, &result));
  EXPECT_EQ(args[0].AsString(), "built in");
  EXPECT_EQ(object->Call("Pid", &result).Number, kErrNoSuchMember);
  UnregisterBuiltinClass("fake.module");
  object = Create("Fake.Module");
  ASSERT_TRUE(object);
  EXPECT_FALSE(object->Call("Pid", &result));
}

TEST(VariantTest, ConversionsFollowTheAutomationRules) {
  EXPECT_EQ(Variant(false).AsString(), "False");
  EXPECT_EQ(Variant(true).AsLong(), -1);
  EXPECT_EQ(Variant(" 42 ").AsLong(), 42);
  EXPECT_EQ(Variant("4x").AsLong(), 0);
  EXPECT_EQ(Variant(2.5).AsString(), "2.5");
  EXPECT_EQ(Variant::Null().AsString(), "");
  EXPECT_FALSE(Variant("0").AsBool());
  EXPECT_TRUE(Variant("True").AsBool());
}

}  // namespace
}  // namespace larkedi::automation
