#include "engine/TTransAction.h"

#include "engine/ActionTypes.h"

#include <algorithm>
#include <vector>

namespace Tr {

TTransAction::Listener::~Listener() = default;

void TTransAction::Listener::actionDeleted(TTransAction*) {}

TTransAction::TTransAction(bool incoming) : incoming_(incoming) {}

TTransAction::~TTransAction() {
    if (!listeners_)
        return;
    // A listener may remove itself or others while being told, which moves the rest: each one
    // still registered is told exactly once, the last registered first.
    std::vector<Listener*> told;
    for (;;) {
        Listener* next = nullptr;
        for (int i = listeners_->count() - 1; i >= 0 && !next; --i) {
            if (std::find(told.begin(), told.end(), listeners_->get(i)) == told.end())
                next = listeners_->get(i);
        }
        if (!next)
            return;
        told.push_back(next);
        next->actionDeleted(this);
    }
}

void TTransAction::assign(const TTransAction& other) {
    fromString(other.toString());
}

std::unique_ptr<TTransAction> TTransAction::clone() const {
    std::unique_ptr<TTransAction> copy = newInstance();
    copy->assign(*this);
    copy->copyDelayFrom(*this);
    return copy;
}

void TTransAction::attach() {}

void TTransAction::detach() {}

bool TTransAction::readElement(const Vorn::XmlElement&, Vorn::ErrorMessageCallback*) {
    return false;
}

bool TTransAction::writeElement(Vorn::XmlElement&) const {
    return false;
}

void TTransAction::postCreate() {}

bool TTransAction::matches(TTransEvent&) {
    return false;
}

bool TTransAction::execute(TTransContext&) {
    return false;
}

void TTransAction::setDelay(int unit, VarOrNumber delay) {
    delayUnit_ = unit;
    delay_ = delay;
}

void TTransAction::copyDelayFrom(const TTransAction& other) {
    delayUnit_ = other.delayUnit_;
    delay_ = other.delay_;
}

Vorn::VString TTransAction::getDescriptionWithDelay() const {
    Vorn::VString text = getDescription();
    if (incoming_ || getType() == kTypeNone)
        return text;
    if (delayUnit_ == kDelaySeconds || delayUnit_ == kDelayMillis) {
        text += ", delay:";
        text += delay_.toString();
        text += delayUnit_ == kDelaySeconds ? " seconds" : " millisec";
    }
    return text;
}

void TTransAction::addListener(Listener* listener) {
    if (!listeners_) {
        listeners_ = std::make_unique<Vorn::VList<Listener*>>();
        listeners_->setCapacity(2, false);
    }
    listeners_->addUnique(listener);
}

void TTransAction::removeListener(Listener* listener) {
    if (listeners_)
        listeners_->remove(listener);
}

} // namespace Tr
