#pragma once

#include <functional>
#include <memory>

// The answer to the page call being served, which a box opened by that call
// holds back until the person has closed it: the page has always received
// such an answer only then, while other calls are answered at once. Lives on
// the GUI thread.
class PendingAnswer
{
public:
    using Hold = std::shared_ptr<void>;

    // Opened by the dispatcher around one call: send runs once, when the
    // scope ends and no box holds the answer any more, or later when the
    // last hold is let go.
    class Scope
    {
    public:
        explicit Scope(std::function<void()> send);
        ~Scope();

        Scope(const Scope &) = delete;
        Scope &operator=(const Scope &) = delete;

        // The call failed and its error answer went out instead.
        void cancel();

    private:
        std::shared_ptr<std::function<void()>> m_send;
    };

    // A hold on the answer of the call being served; nothing outside a call.
    static Hold hold();
    // Runs what a held answer's call set off, later (the continuation of a
    // box): what it opens holds that answer too, so the answer still goes
    // out after all of it. Without a hold the call being served, if any,
    // stays the one held.
    static void resume(const Hold &held, const std::function<void()> &work);

private:
    static std::weak_ptr<std::function<void()>> s_current;
};
