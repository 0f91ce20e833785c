// Bad input to the About object through the vtable and through Invoke:
// every VARIANT type as Title and Icon, wrong argument counts, named
// arguments and odd flags.
//
// Under Wine each modal box takes seconds to come and go, so the sweep stops
// the box at its creation (a CBT hook refuses the window): the call runs
// through the arguments and the dialog's construction all the same, and the
// hook counts one attempt per call. A few calls show the real box, closed
// from a second thread.
#include <doctest/doctest.h>
#include <cstdio>
#include <map>
#include "logon_test_support.h"
#include "quarnver_module.h"
#include "registration_guard.h"
#include "robustness_support.h"
#include "variant_samples.h"

namespace {
struct AboutSweepFixture {
    ComApartment com;
    RegistrationGuard registration;
    QuarnverModule dll;
    std::vector<std::unique_ptr<VariantSample>> samples = MakeVariantSamples();
    AboutSweepFixture() { REQUIRE(dll.RegisterServer() == S_OK); }
    ~AboutSweepFixture() {
        CHECK(dll.CanUnloadNow() == S_OK);
        dll.UnregisterServer();
    }
};

// Refuses the creation of the About box on this thread and counts it.
class AboutBoxBlocker {
public:
    AboutBoxBlocker() : m_hook(SetWindowsHookExW(WH_CBT, Hook, nullptr, GetCurrentThreadId())) {
        s_blocked = 0;
    }
    ~AboutBoxBlocker() {
        if (m_hook) UnhookWindowsHookEx(m_hook);
    }
    AboutBoxBlocker(const AboutBoxBlocker&) = delete;
    AboutBoxBlocker& operator=(const AboutBoxBlocker&) = delete;
    bool Installed() const { return m_hook != nullptr; }
    static long Blocked() { return s_blocked; }

private:
    static LRESULT CALLBACK Hook(int code, WPARAM wParam, LPARAM lParam) {
        if (code == HCBT_CREATEWND) {
            const CREATESTRUCTW* create = reinterpret_cast<CBT_CREATEWNDW*>(lParam)->lpcs;
            if (create->lpszName && !IS_INTRESOURCE(create->lpszName) &&
                lstrcmpW(create->lpszName, kAboutCaption) == 0) {
                ++s_blocked;
                return 1;
            }
        }
        return CallNextHookEx(nullptr, code, wParam, lParam);
    }
    static long s_blocked;
    HHOOK m_hook;
};
long AboutBoxBlocker::s_blocked = 0;

struct Tally {
    std::map<HRESULT, int> counts;
    void Add(HRESULT hr) { ++counts[hr]; }
    void Print(const char* sweep) const {
        printf("%s:", sweep);
        for (const auto& [hr, n] : counts) printf(" 0x%08lX x%d", static_cast<unsigned long>(hr), n);
        printf("\n");
    }
};
}  // namespace

TEST_CASE_FIXTURE(AboutSweepFixture, "DlgAbout takes every VARIANT through the vtable and through Invoke") {
    KeyBackup folders(HKEY_LOCAL_MACHINE, L"Software\\Velmora\\QUARN 5\\Folders");
    ComPtr<IQuarn5About> about = dll.Create<IQuarn5About>(CLSID_Quarn5About);
    REQUIRE(about);
    ComPtr<IDispatch> dispatch;
    REQUIRE(about.As(&dispatch) == S_OK);
    Tally tally;
    long attempts = 0;
    {
        AboutBoxBlocker blocker;
        REQUIRE(blocker.Installed());
        for (const auto& sample : samples) {
            INFO(sample->Name());
            CHECK(about->DlgAbout(sample->Value(), sample->Value()) == S_OK);
            ++attempts;
            for (size_t p = 0; p < 3; ++p) {
                std::vector<VARIANT> args = {VariantOfMissing(), VariantOfMissing()};
                if (p < 2) args[p] = sample->Value();
                else args = {sample->Value(), sample->Value()};
                InvokeOutcome outcome;
                InvokeWith(dispatch.Get(), 1, DISPATCH_METHOD, args, {}, &outcome);
                tally.Add(outcome.hr);
                // The type information refuses what is no valid VARIANT at all.
                CHECK((outcome.hr == S_OK || outcome.hr == DISP_E_BADVARTYPE));
                if (SUCCEEDED(outcome.hr)) ++attempts;
            }
        }
        // Wrong counts, named arguments and odd flags.
        struct Shape {
            size_t count;
            std::vector<DISPID> named;
            WORD flags;
        } shapes[] = {{0, {}, DISPATCH_METHOD}, {1, {}, DISPATCH_METHOD}, {3, {}, DISPATCH_METHOD},
                      {1, {1}, DISPATCH_METHOD}, {1, {0}, DISPATCH_METHOD}, {2, {1, 0}, DISPATCH_METHOD},
                      {1, {7}, DISPATCH_METHOD}, {1, {DISPID_PROPERTYPUT}, DISPATCH_PROPERTYPUT},
                      {0, {}, DISPATCH_PROPERTYGET}, {0, {}, 0}, {2, {}, 0xFFFF}};
        for (const Shape& shape : shapes) {
            for (DISPID dispid : {1, 2, 0, -1}) {
                std::vector<VARIANT> args(shape.count, VariantOfI4(1));
                InvokeOutcome outcome;
                InvokeWith(dispatch.Get(), dispid, shape.flags, args, shape.named, &outcome);
                tally.Add(outcome.hr);
                if (SUCCEEDED(outcome.hr)) ++attempts;
            }
        }
        tally.Print("DlgAbout, Invoke");
        // Every call that returned success went as far as creating the box.
        CHECK(AboutBoxBlocker::Blocked() == attempts);
    }

    // The real box, with a few of the oddest arguments, through both ways.
    for (size_t index : {size_t{0}, samples.size() / 3, samples.size() - 1}) {
        const VariantSample& sample = *samples[index];
        INFO(sample.Name());
        const BoxCall early = CallClosingAboutBox([&] { return about->DlgAbout(sample.Value(), sample.Value()); });
        CHECK(early.hr == S_OK);
        CHECK(early.shown);
        InvokeOutcome outcome;
        const BoxCall late = CallClosingAboutBox([&] {
            InvokeWith(dispatch.Get(), 1, DISPATCH_METHOD, {sample.Value(), sample.Value()}, {}, &outcome);
            return outcome.hr;
        });
        CHECK(late.shown == SUCCEEDED(late.hr));
    }
}
