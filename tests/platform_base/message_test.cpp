#include "platform/base/clock.h"
#include "platform/base/message.h"
#include "platform/base/sync.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace {

// Each case runs its loop on a thread of its own, so it starts with a fresh, empty queue.
void OnFreshThread(std::function<void()> body) {
    HANDLE thread = BeginThread([&body] {
        body();
        return 0u;
    });
    ASSERT_NE(thread, nullptr);
    ASSERT_EQ(WaitForSingleObject(thread, 60000), WAIT_OBJECT_0);
    CloseHandle(thread);
}

template <class Done>
bool Eventually(Done done) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        Sleep(1);
    }
    return true;
}

constexpr UINT kSeq = WM_APP + 1;
constexpr UINT kDone = WM_APP + 2;

TEST(Message, PostsFromFourThreadsKeepEachSendersOrderAndLoseNothing) {
    OnFreshThread([] {
        constexpr int kSenders = 4;
        constexpr int kEach = 25000;
        std::vector<LPARAM> next(kSenders, 0);
        int received = 0;
        int out_of_order = 0;
        HWND hwnd = CreateMessageWindow([&](HWND, UINT msg, WPARAM wParam, LPARAM lParam) -> LRESULT {
            if (msg != kSeq || wParam >= kSenders) return 0;
            if (lParam != next[wParam]) ++out_of_order;
            next[wParam] = lParam + 1;
            ++received;
            return 0;
        });
        ASSERT_NE(hwnd, nullptr);

        std::vector<HANDLE> senders;
        for (WPARAM s = 0; s < kSenders; ++s) {
            senders.push_back(BeginThread([hwnd, s] {
                unsigned failed = 0;
                for (LPARAM i = 0; i < kEach; ++i) failed += PostMessageW(hwnd, kSeq, s, i) ? 0 : 1;
                return failed;
            }));
        }
        MSG msg;
        while (received < kSenders * kEach && GetMessageW(&msg, nullptr, 0, 0) > 0) DispatchMessageW(&msg);
        for (HANDLE h : senders) {
            DWORD failed = 1;
            WaitForSingleObject(h, INFINITE);
            GetExitCodeThread(h, &failed);
            EXPECT_EQ(failed, 0u);
            CloseHandle(h);
        }
        EXPECT_EQ(received, kSenders * kEach);
        EXPECT_EQ(out_of_order, 0);
        for (LPARAM n : next) EXPECT_EQ(n, kEach);
        EXPECT_FALSE(PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE));
        DestroyMessageWindow(hwnd);
    });
}

TEST(Message, DestroyedHandleRefusesPostsAndDropsWhatWasQueued) {
    OnFreshThread([] {
        std::vector<std::pair<int, UINT>> calls;  // (window, message)
        HWND gone = CreateMessageWindow([&](HWND, UINT msg, WPARAM, LPARAM) -> LRESULT {
            calls.emplace_back(1, msg);
            return 0;
        });
        HWND kept = CreateMessageWindow([&](HWND, UINT msg, WPARAM, LPARAM) -> LRESULT {
            calls.emplace_back(2, msg);
            return 0;
        });
        ASSERT_TRUE(PostMessageW(gone, WM_USER + 1, 0, 0));
        ASSERT_TRUE(PostMessageW(kept, WM_USER + 2, 0, 0));
        ASSERT_TRUE(PostMessageW(gone, WM_USER + 3, 0, 0));
        MSG early;
        ASSERT_TRUE(PeekMessageW(&early, nullptr, 0, 0, PM_REMOVE));  // taken out before the end
        EXPECT_EQ(early.hwnd, gone);

        EXPECT_TRUE(DestroyMessageWindow(gone));
        EXPECT_FALSE(IsWindow(gone));
        EXPECT_TRUE(IsWindow(kept));
        SetLastError(0);
        EXPECT_FALSE(PostMessageW(gone, WM_USER + 4, 0, 0));
        EXPECT_EQ(GetLastError(), ERROR_INVALID_WINDOW_HANDLE);
        EXPECT_FALSE(DestroyMessageWindow(gone));
        EXPECT_EQ(SendMessageW(gone, WM_USER + 5, 0, 0), 0);
        EXPECT_FALSE(PostMessageW(nullptr, WM_USER, 0, 0));
        EXPECT_EQ(GetLastError(), ERROR_INVALID_WINDOW_HANDLE);

        EXPECT_EQ(DispatchMessageW(&early), 0);
        ASSERT_TRUE(PostMessageW(kept, WM_USER + 6, 0, 0));
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
        const std::vector<std::pair<int, UINT>> expected{{2, WM_USER + 2}, {2, WM_USER + 6}};
        EXPECT_EQ(calls, expected);
        DestroyMessageWindow(kept);
    });
}

TEST(Message, SendFromAWorkerRunsOnTheOwnerBeforePostedMessages) {
    OnFreshThread([] {
        const DWORD owner = GetCurrentThreadId();
        std::atomic<int> wakes{0};
        SetQueueWakeHook(owner, [&] { ++wakes; });
        std::vector<UINT> order;
        DWORD proc_thread = 0;
        bool worker_done = false;
        HWND hwnd = CreateMessageWindow([&](HWND, UINT msg, WPARAM wParam, LPARAM) -> LRESULT {
            order.push_back(msg);
            if (msg == WM_USER) proc_thread = GetCurrentThreadId();
            if (msg == kDone) worker_done = true;
            return static_cast<LRESULT>(wParam * 2);
        });
        EXPECT_EQ(SendMessageW(hwnd, WM_USER + 9, 4, 0), 8) << "direct on the owner thread";
        order.clear();

        ASSERT_TRUE(PostMessageW(hwnd, WM_APP, 0, 0));
        ASSERT_TRUE(Eventually([&] { return wakes.load() == 1; }));
        std::atomic<LRESULT> result{-1};
        HANDLE worker = BeginThread([&] {
            result = SendMessageW(hwnd, WM_USER, 21, 0);
            PostMessageW(hwnd, kDone, 0, 0);
            return 0u;
        });
        ASSERT_TRUE(Eventually([&] { return wakes.load() == 2; }));  // the send is queued
        MSG msg;
        ASSERT_EQ(GetMessageW(&msg, nullptr, 0, 0), TRUE);
        EXPECT_EQ(msg.message, WM_APP);
        ASSERT_EQ(order.size(), 1u);
        EXPECT_EQ(order[0], WM_USER) << "the sent call is served before the posted message";
        DispatchMessageW(&msg);
        while (!worker_done && GetMessageW(&msg, nullptr, 0, 0) > 0) DispatchMessageW(&msg);

        EXPECT_EQ(WaitForSingleObject(worker, 10000), WAIT_OBJECT_0);
        CloseHandle(worker);
        EXPECT_EQ(result.load(), 42);
        EXPECT_EQ(proc_thread, owner);
        SetQueueWakeHook(owner, nullptr);
        DestroyMessageWindow(hwnd);
    });
}

TEST(Message, PendingSendEndsWithZeroWhenTheWindowOrItsThreadEnds) {
    // The window is destroyed while the call waits.
    OnFreshThread([] {
        std::atomic<int> wakes{0};
        SetQueueWakeHook(GetCurrentThreadId(), [&] { ++wakes; });
        bool called = false;
        HWND hwnd = CreateMessageWindow([&](HWND, UINT, WPARAM, LPARAM) -> LRESULT {
            called = true;
            return 5;
        });
        std::atomic<LRESULT> result{-1};
        HANDLE sender = BeginThread([&] {
            result = SendMessageW(hwnd, WM_USER, 0, 0);
            return 0u;
        });
        ASSERT_TRUE(Eventually([&] { return wakes.load() == 1; }));
        DestroyMessageWindow(hwnd);
        EXPECT_EQ(WaitForSingleObject(sender, 10000), WAIT_OBJECT_0);
        CloseHandle(sender);
        EXPECT_EQ(result.load(), 0);
        MSG msg;
        EXPECT_FALSE(PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE));
        EXPECT_FALSE(called);
        SetQueueWakeHook(GetCurrentThreadId(), nullptr);
    });

    // The owner thread ends without ever reading its queue.
    std::atomic<HWND> hwnd{nullptr};
    HANDLE queued = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE owner = BeginThread([&] {
        SetQueueWakeHook(GetCurrentThreadId(), [queued] { SetEvent(queued); });
        hwnd = CreateMessageWindow([](HWND, UINT, WPARAM, LPARAM) -> LRESULT { return 5; });
        WaitForSingleObject(queued, 10000);
        return 0u;
    });
    ASSERT_TRUE(Eventually([&] { return hwnd.load() != nullptr; }));
    EXPECT_EQ(SendMessageW(hwnd, WM_USER, 0, 0), 0);
    EXPECT_EQ(WaitForSingleObject(owner, 10000), WAIT_OBJECT_0);
    EXPECT_FALSE(IsWindow(hwnd)) << "a thread's windows end with it";
    EXPECT_FALSE(PostMessageW(hwnd, WM_USER, 0, 0));
    CloseHandle(owner);
    CloseHandle(queued);
}

TEST(Message, SenderServesCallsSentBackToItWhileItWaits) {
    OnFreshThread([] {
        HWND here = CreateMessageWindow([](HWND, UINT, WPARAM wParam, LPARAM) -> LRESULT {
            return static_cast<LRESULT>(wParam + 1);
        });
        std::atomic<HWND> there{nullptr};
        HANDLE other = BeginThread([&] {
            // Its procedure calls back into the first thread before answering.
            there = CreateMessageWindow([here](HWND, UINT, WPARAM wParam, LPARAM) -> LRESULT {
                return SendMessageW(here, WM_USER, wParam * 10, 0) * 2;
            });
            MSG msg;
            while (GetMessageW(&msg, nullptr, 0, 0) > 0) DispatchMessageW(&msg);
            return 0u;
        });
        ASSERT_TRUE(Eventually([&] { return there.load() != nullptr; }));
        EXPECT_EQ(SendMessageW(there, WM_USER, 3, 0), 62);
        DWORD other_id = GetWindowThreadProcessId(there, nullptr);
        EXPECT_TRUE(PostThreadMessageW(other_id, WM_QUIT, 0, 0));
        EXPECT_EQ(WaitForSingleObject(other, 10000), WAIT_OBJECT_0);
        CloseHandle(other);
        DestroyMessageWindow(here);
    });
}

TEST(Message, QuitEndsGetMessageAfterThePostedMessages) {
    OnFreshThread([] {
        HWND hwnd = CreateMessageWindow([](HWND, UINT, WPARAM, LPARAM) -> LRESULT { return 0; });
        PostMessageW(hwnd, WM_USER, 0, 0);
        PostQuitMessage(7);
        MSG msg;
        EXPECT_EQ(GetMessageW(&msg, nullptr, 0, 0), TRUE);
        EXPECT_EQ(msg.message, WM_USER);
        EXPECT_EQ(GetMessageW(&msg, nullptr, 0, 0), FALSE);
        EXPECT_EQ(msg.message, WM_QUIT);
        EXPECT_EQ(msg.wParam, 7u);
        EXPECT_FALSE(PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) << "the quit is taken once";

        // A filtered loop still sees the quit.
        PostQuitMessage(3);
        EXPECT_EQ(GetMessageW(&msg, hwnd, WM_USER, WM_USER), FALSE);

        DestroyMessageWindow(hwnd);
        EXPECT_EQ(GetMessageW(&msg, hwnd, 0, 0), -1) << "a dead filter handle";
        EXPECT_EQ(GetLastError(), ERROR_INVALID_WINDOW_HANDLE);
    });
}

TEST(Message, FiltersAndNoRemovePeek) {
    OnFreshThread([] {
        HWND a = CreateMessageWindow(nullptr);
        HWND b = CreateMessageWindow(nullptr);
        PostMessageW(a, WM_USER + 1, 0, 0);
        PostMessageW(b, WM_USER + 2, 0, 0);
        PostMessageW(a, WM_USER + 3, 0, 0);
        MSG msg;
        ASSERT_TRUE(PeekMessageW(&msg, nullptr, WM_USER + 2, WM_USER + 3, PM_NOREMOVE));
        EXPECT_EQ(msg.message, WM_USER + 2u);
        ASSERT_TRUE(PeekMessageW(&msg, a, WM_USER + 2, WM_USER + 3, PM_REMOVE));
        EXPECT_EQ(msg.message, WM_USER + 3u);
        ASSERT_TRUE(PeekMessageW(&msg, b, 0, 0, PM_REMOVE));
        EXPECT_EQ(msg.message, WM_USER + 2u);
        ASSERT_TRUE(PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE));
        EXPECT_EQ(msg.message, WM_USER + 1u);
        EXPECT_FALSE(PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE));
        DestroyMessageWindow(a);
        DestroyMessageWindow(b);
    });
}

TEST(Message, ThreadMessagesWakeHookAndWaitTimeout) {
    OnFreshThread([] {
        const DWORD self = GetCurrentThreadId();
        MSG msg;
        auto start = std::chrono::steady_clock::now();
        EXPECT_FALSE(WaitMessageTimeout(40));
        EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(35));

        std::atomic<int> wakes{0};
        SetQueueWakeHook(self, [&] { ++wakes; });
        std::thread poster([self] { EXPECT_TRUE(PostThreadMessageW(self, WM_APP + 5, 1, 2)); });
        poster.join();
        EXPECT_EQ(wakes.load(), 1);
        EXPECT_TRUE(WaitMessageTimeout(0));
        ASSERT_EQ(GetMessageW(&msg, nullptr, 0, 0), TRUE);
        EXPECT_EQ(msg.hwnd, nullptr);
        EXPECT_EQ(msg.message, WM_APP + 5u);
        EXPECT_EQ(msg.wParam, 1u);
        EXPECT_EQ(msg.lParam, 2);
        EXPECT_EQ(DispatchMessageW(&msg), 0);

        HWND hwnd = CreateMessageWindow(nullptr);
        std::thread window_poster([hwnd] { PostMessageW(hwnd, WM_USER, 0, 0); });
        window_poster.join();
        EXPECT_EQ(wakes.load(), 2);
        PostQuitMessage(0);
        EXPECT_EQ(wakes.load(), 3);
        SetQueueWakeHook(self, nullptr);
        PostMessageW(hwnd, WM_USER, 0, 0);
        EXPECT_EQ(wakes.load(), 3) << "a removed hook is not called";
        DestroyMessageWindow(hwnd);

        SetLastError(0);
        EXPECT_FALSE(PostThreadMessageW(0xFFFFFFF0u, WM_USER, 0, 0));
        EXPECT_EQ(GetLastError(), ERROR_INVALID_THREAD_ID);
        DWORD pid = 0;
        HWND mine = CreateMessageWindow(nullptr);
        EXPECT_EQ(GetWindowThreadProcessId(mine, &pid), self);
        EXPECT_NE(pid, 0u);
        DestroyMessageWindow(mine);
        EXPECT_EQ(GetWindowThreadProcessId(mine, nullptr), 0u);
    });
}

TEST(Message, SubclassedProcedureTakesOver) {
    OnFreshThread([] {
        HWND hwnd = CreateMessageWindow([](HWND, UINT, WPARAM, LPARAM) -> LRESULT { return 1; });
        EXPECT_EQ(SendMessageW(hwnd, WM_USER, 0, 0), 1);
        EXPECT_TRUE(SetMessageWindowProc(hwnd, [](HWND, UINT, WPARAM, LPARAM) -> LRESULT { return 2; }));
        EXPECT_EQ(SendMessageW(hwnd, WM_USER, 0, 0), 2);
        DestroyMessageWindow(hwnd);
        EXPECT_FALSE(SetMessageWindowProc(hwnd, nullptr));
    });
}

}  // namespace
