#include "platform/window_system.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace qm {
namespace {

// A window whose procedure writes what it receives into a shared journal.
struct Recorded {
  HWND hwnd;
  UINT msg;
  WPARAM wParam;
  LPARAM lParam;
};

TEST(WindowMessages, RegisteredIdsStartAt0xC000AndRepeatForTheSameName) {
  WindowSystem ws;
  UINT discover = ws.RegisterWindowMessage("SkypeControlAPIDiscover");
  UINT attach = ws.RegisterWindowMessage("SkypeControlAPIAttach");
  EXPECT_EQ(discover, 0xC000u);
  EXPECT_EQ(attach, 0xC001u);
  EXPECT_EQ(ws.RegisterWindowMessage("SkypeControlAPIDiscover"), discover);
  EXPECT_EQ(ws.RegisterWindowMessage("skypecontrolapidiscover"), discover) << "names are compared without case";
  EXPECT_EQ(ws.RegisterWindowMessage(""), 0u);
}

TEST(WindowMessages, RegisteredIdsEndAt0xFFFF) {
  WindowSystem ws;
  for (int i = 0; i < 0x4000; ++i) ASSERT_NE(ws.RegisterWindowMessage(std::string("m").append(std::to_string(i))), 0u);
  EXPECT_EQ(ws.RegisterWindowMessage("m0"), 0xC000u);
  EXPECT_EQ(ws.RegisterWindowMessage("one too many"), 0u);
}

TEST(WindowMessages, HandlesAreNonZeroDistinctAndNeverTheBroadcastTarget) {
  WindowSystem ws;
  WNDPROC proc = ws.defaultProcedure();
  std::vector<HWND> handles;
  for (int i = 0; i < 100; ++i) {
    HWND h = ws.createWindow("w", proc);
    EXPECT_NE(h, 0);
    EXPECT_NE(h, HWND_BROADCAST);
    for (HWND other : handles) EXPECT_NE(h, other);
    handles.push_back(h);
  }
}

TEST(WindowMessages, SendCallsTheProcedureAtOnceAndReturnsItsResult) {
  WindowSystem ws;
  std::vector<Recorded> journal;
  WNDPROC proc = ws.addProcedure([&](HWND h, UINT m, WPARAM w, LPARAM l) -> LRESULT {
    journal.push_back({h, m, w, l});
    return 42;
  });
  HWND a = ws.createWindow("a", proc);
  EXPECT_EQ(ws.SendMessage(a, 0x400, -1, 0x7FFFFFFFFFFF), 42);
  ASSERT_EQ(journal.size(), 1u);
  EXPECT_EQ(journal[0].hwnd, a);
  EXPECT_EQ(journal[0].msg, 0x400u);
  EXPECT_EQ(journal[0].wParam, -1);
  EXPECT_EQ(journal[0].lParam, 0x7FFFFFFFFFFF) << "lParam is pointer-sized";
}

TEST(WindowMessages, SendToNoWindowReturnsZero) {
  WindowSystem ws;
  int calls = 0;
  WNDPROC proc = ws.addProcedure([&](HWND, UINT, WPARAM, LPARAM) -> LRESULT { return ++calls; });
  HWND a = ws.createWindow("a", proc);
  EXPECT_EQ(ws.SendMessage(0, 0x400, 0, 0), 0);
  EXPECT_EQ(ws.SendMessage(a + 1000, 0x400, 0, 0), 0);
  ws.destroyWindow(a);
  EXPECT_FALSE(ws.isWindow(a));
  EXPECT_EQ(ws.SendMessage(a, 0x400, 0, 0), 0);
  EXPECT_EQ(calls, 0);
}

TEST(WindowMessages, AProcedureMaySendWhileItHandlesAMessage) {
  WindowSystem ws;
  std::vector<std::string> trace;
  HWND a = 0, b = 0;
  WNDPROC procA = ws.addProcedure([&](HWND, UINT m, WPARAM, LPARAM) -> LRESULT {
    trace.push_back(std::string("a").append(std::to_string(m)).append(" in"));
    LRESULT r = m == 1 ? ws.SendMessage(b, 2, 0, 0) : 7;
    trace.push_back(std::string("a").append(std::to_string(m)).append(" out"));
    return r + 1;
  });
  WNDPROC procB = ws.addProcedure([&](HWND, UINT m, WPARAM, LPARAM) -> LRESULT {
    trace.push_back(std::string("b").append(std::to_string(m)).append(" in"));
    LRESULT r = ws.SendMessage(a, 3, 0, 0);  // back into a, which is still handling message 1
    trace.push_back(std::string("b").append(std::to_string(m)).append(" out"));
    return r * 10;
  });
  a = ws.createWindow("a", procA);
  b = ws.createWindow("b", procB);
  EXPECT_EQ(ws.SendMessage(a, 1, 0, 0), 81);  // ((7 + 1) * 10) + 1
  EXPECT_EQ(trace, (std::vector<std::string>{"a1 in", "b2 in", "a3 in", "a3 out", "b2 out", "a1 out"}));
}

TEST(WindowMessages, EndlessNestingStopsInsteadOfOverflowing) {
  WindowSystem ws;
  int depth = 0, deepest = 0;
  HWND self = 0;
  WNDPROC proc = ws.addProcedure([&](HWND, UINT, WPARAM, LPARAM) -> LRESULT {
    deepest = std::max(deepest, ++depth);
    LRESULT r = ws.SendMessage(self, 1, 0, 0);
    --depth;
    return r;
  });
  self = ws.createWindow("loop", proc);
  EXPECT_EQ(ws.SendMessage(self, 1, 0, 0), 0);
  EXPECT_EQ(deepest, WindowSystem::kMaxDepth);
}

TEST(WindowMessages, BroadcastReachesEveryWindowTheSendersOwnIncluded) {
  WindowSystem ws;
  std::vector<HWND> reached;
  WNDPROC proc = ws.addProcedure([&](HWND h, UINT, WPARAM, LPARAM) -> LRESULT {
    reached.push_back(h);
    return 0;  // a broadcast's result does not depend on what the windows return
  });
  HWND a = ws.createWindow("a", proc);
  HWND b = ws.createWindow("b", proc);
  HWND c = ws.createWindow("c", proc);
  EXPECT_NE(ws.SendMessage(HWND_BROADCAST, 0xC000, a, 0), 0);
  EXPECT_EQ(reached, (std::vector<HWND>{a, b, c}));
}

TEST(WindowMessages, BroadcastWithNoWindowsReturnsZero) {
  WindowSystem ws;
  EXPECT_EQ(ws.SendMessage(HWND_BROADCAST, 0xC000, 0, 0), 0);
}

TEST(WindowMessages, BroadcastSkipsAWindowDestroyedOnTheWayAndOneCreatedOnTheWay) {
  WindowSystem ws;
  std::vector<HWND> reached;
  HWND b = 0, late = 0;
  WNDPROC proc = ws.addProcedure([&](HWND h, UINT, WPARAM, LPARAM) -> LRESULT {
    reached.push_back(h);
    return 1;
  });
  WNDPROC first = ws.addProcedure([&](HWND h, UINT, WPARAM, LPARAM) -> LRESULT {
    reached.push_back(h);
    ws.destroyWindow(b);
    late = ws.createWindow("late", proc);
    return 1;
  });
  HWND a = ws.createWindow("a", first);
  b = ws.createWindow("b", proc);
  HWND c = ws.createWindow("c", proc);
  EXPECT_EQ(ws.SendMessage(HWND_BROADCAST, 5, 0, 0), 1);
  EXPECT_EQ(reached, (std::vector<HWND>{a, c}));
  EXPECT_TRUE(ws.isWindow(late));
}

TEST(WindowMessages, SubclassingReturnsThePreviousProcedureAndUnhookingRestoresIt) {
  WindowSystem ws;
  std::vector<std::string> trace;
  WNDPROC original = ws.addProcedure([&](HWND, UINT m, WPARAM, LPARAM) -> LRESULT {
    trace.push_back("original " + std::to_string(m));
    return 100 + m;
  });
  HWND w = ws.createWindow("main", original);
  WNDPROC previous = 0;
  WNDPROC hook = ws.addProcedure([&](HWND h, UINT m, WPARAM wp, LPARAM lp) -> LRESULT {
    trace.push_back("hook " + std::to_string(m));
    if (m == 1) return 1;                              // handled here
    return ws.CallWindowProc(previous, h, m, wp, lp);  // everything else goes on
  });
  EXPECT_EQ(ws.GetWindowLong(w, GWL_WNDPROC), original);
  previous = ws.SetWindowLong(w, GWL_WNDPROC, hook);
  EXPECT_EQ(previous, original);
  EXPECT_EQ(ws.GetWindowLong(w, GWL_WNDPROC), hook);
  EXPECT_EQ(ws.SendMessage(w, 1, 0, 0), 1);
  EXPECT_EQ(ws.SendMessage(w, 2, 0, 0), 102);
  EXPECT_EQ(trace, (std::vector<std::string>{"hook 1", "hook 2", "original 2"}));

  trace.clear();
  EXPECT_EQ(ws.SetWindowLong(w, GWL_WNDPROC, previous), hook);
  EXPECT_EQ(ws.SendMessage(w, 1, 0, 0), 101);
  EXPECT_EQ(trace, (std::vector<std::string>{"original 1"}));
}

TEST(WindowMessages, SubclassingRefusesWhatItCannotDo) {
  WindowSystem ws;
  WNDPROC proc = ws.defaultProcedure();
  WNDPROC other = ws.addProcedure([](HWND, UINT, WPARAM, LPARAM) -> LRESULT { return 9; });
  HWND w = ws.createWindow("w", proc);
  EXPECT_EQ(ws.SetWindowLong(0, GWL_WNDPROC, other), 0) << "no window";
  EXPECT_EQ(ws.SetWindowLong(w, -16, other), 0) << "not the procedure slot";
  EXPECT_EQ(ws.SetWindowLong(w, GWL_WNDPROC, 0), 0) << "no procedure";
  EXPECT_EQ(ws.SetWindowLong(w, GWL_WNDPROC, other + 1), 0) << "not a procedure's address";
  EXPECT_EQ(ws.GetWindowLong(w, GWL_WNDPROC), proc);
  EXPECT_EQ(ws.GetWindowLong(0, GWL_WNDPROC), 0);
  EXPECT_EQ(ws.CallWindowProc(0, w, 1, 0, 0), 0);
  EXPECT_EQ(ws.CallWindowProc(other, w, 1, 0, 0), 9);
}

TEST(WindowMessages, AProcedureRemovedWhileRunningFinishesItsCall) {
  WindowSystem ws;
  WNDPROC self = 0;
  self = ws.addProcedure([&](HWND, UINT, WPARAM, LPARAM) -> LRESULT {
    ws.removeProcedure(self);
    return 5;
  });
  HWND w = ws.createWindow("w", self);
  EXPECT_EQ(ws.SendMessage(w, 1, 0, 0), 5);
  EXPECT_EQ(ws.SendMessage(w, 1, 0, 0), 0) << "its address no longer calls anything";
}

TEST(CopyData, TheReceiverCopiesOutExactlyTheBytesSent) {
  WindowSystem ws;
  std::vector<char> received;
  COPYDATASTRUCT seen{};
  const void* senderBuffer = nullptr;
  WNDPROC proc = ws.addProcedure([&](HWND, UINT m, WPARAM, LPARAM l) -> LRESULT {
    if (m != WM_COPYDATA) return 0;
    seen = *reinterpret_cast<const COPYDATASTRUCT*>(l);
    received = copyDataBytes(l);
    return 1;
  });
  HWND w = ws.createWindow("w", proc);
  char bytes[] = {'P', 'I', 'N', 'G', '\0', 'x', 'y'};
  senderBuffer = bytes;
  COPYDATASTRUCT cds{7, 5, bytes};  // the two bytes after the zero are not part of the message
  EXPECT_EQ(ws.SendMessage(w, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&cds)), 1);
  EXPECT_EQ(received, (std::vector<char>{'P', 'I', 'N', 'G', '\0'}));
  EXPECT_EQ(seen.dwData, 7u);
  EXPECT_EQ(seen.cbData, 5u);
  EXPECT_NE(seen.lpData, senderBuffer) << "the receiver sees its own copy, as between processes";
}

TEST(CopyData, EmptyAndMissingRecords) {
  WindowSystem ws;
  std::vector<char> received{'x'};
  LPARAM lastLParam = -1;
  const void* lastData = &received;
  WNDPROC proc = ws.addProcedure([&](HWND, UINT, WPARAM, LPARAM l) -> LRESULT {
    lastLParam = l;
    if (l) lastData = reinterpret_cast<const COPYDATASTRUCT*>(l)->lpData;
    received = copyDataBytes(l);
    return 1;
  });
  HWND w = ws.createWindow("w", proc);
  char byte = 'z';
  COPYDATASTRUCT empty{0, 0, &byte};
  ws.SendMessage(w, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&empty));
  EXPECT_TRUE(received.empty());
  EXPECT_EQ(lastData, nullptr) << "no bytes, no data pointer";
  ws.SendMessage(w, WM_COPYDATA, 0, 0);
  EXPECT_EQ(lastLParam, 0);
  EXPECT_TRUE(received.empty());
  EXPECT_TRUE(copyDataBytes(0).empty());
}

TEST(CopyData, EveryRecipientOfABroadcastGetsTheBytes) {
  WindowSystem ws;
  std::vector<std::string> texts;
  WNDPROC proc = ws.addProcedure([&](HWND, UINT, WPARAM, LPARAM l) -> LRESULT {
    auto b = copyDataBytes(l);
    texts.emplace_back(b.begin(), b.end());
    return 1;
  });
  ws.createWindow("a", proc);
  ws.createWindow("b", proc);
  char bytes[] = "hi";
  COPYDATASTRUCT cds{0, 2, bytes};
  EXPECT_EQ(ws.SendMessage(HWND_BROADCAST, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&cds)), 1);
  EXPECT_EQ(texts, (std::vector<std::string>{"hi", "hi"}));
}

}  // namespace
}  // namespace qm
