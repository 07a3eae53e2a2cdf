#include <gtest/gtest.h>

#include "core/factory.h"
#include "core/object_impl.h"

namespace {

using corvexa::EngineObject;
using corvexa::core::EngineObjectImpl;

// A kind whose Init result and live-object count the tests control.
struct Probe {
  static inline bool init_result = true;
  static inline int init_calls = 0;
  static inline int alive = 0;
};

class ProbeObject final : public EngineObjectImpl<EngineObject, ProbeObject> {
 public:
  ProbeObject() { ++Probe::alive; }
  ~ProbeObject() { --Probe::alive; }
  bool Init() override {
    ++Probe::init_calls;
    return Probe::init_result;
  }
};

EngineObject* construct_probe() { return corvexa::core::construct_kind<ProbeObject>(); }
EngineObject* construct_nothing() { return nullptr; }

TEST(Factory, HeapObjectIsInitialisedAndReleased) {
  Probe::init_result = true;
  Probe::alive = 0;
  EngineObject* object = corvexa::core::make_heap_object(construct_probe);
  ASSERT_NE(object, nullptr);
  EXPECT_TRUE(object->IsReady());
  EXPECT_EQ(Probe::alive, 1);
  object->Release();
  EXPECT_EQ(Probe::alive, 0);
}

TEST(Factory, FailingInitYieldsNullAndFreesTheObject) {
  Probe::init_result = false;
  Probe::alive = 0;
  EXPECT_EQ(corvexa::core::make_heap_object(construct_probe), nullptr);
  EXPECT_EQ(Probe::alive, 0);
  Probe::init_result = true;
}

TEST(Factory, KindThatCannotBeBuiltYieldsNull) {
  EXPECT_EQ(corvexa::core::make_heap_object(construct_nothing), nullptr);
  EXPECT_EQ(corvexa::core::singleton_object<construct_nothing>(), nullptr);
}

TEST(Factory, SingletonRetriesFailedInitAndKeepsItsIdentity) {
  Probe::init_calls = 0;
  Probe::init_result = false;
  EXPECT_EQ(corvexa::core::singleton_object<construct_probe>(), nullptr);
  EXPECT_EQ(corvexa::core::singleton_object<construct_probe>(), nullptr);
  EXPECT_EQ(Probe::init_calls, 2);
  Probe::init_result = true;
  EngineObject* first = corvexa::core::singleton_object<construct_probe>();
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(corvexa::core::singleton_object<construct_probe>(), first);
  EXPECT_EQ(Probe::init_calls, 3);  // initialised once, then handed out as it is
}

TEST(Factory, ReleaseOfNullDoesNothing) { corvexa::ReleaseObject(nullptr); }

}  // namespace
