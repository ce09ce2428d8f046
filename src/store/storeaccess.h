#pragma once

#include <QDateTime>
#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>
#include <memory>

class Store;

// What every role of one store shares.
class StoreAccess
{
public:
    virtual QString location() const = 0; // names the store in messages
    virtual bool isUsable() = 0;          // opens the store when needed
    virtual QString lastError() const = 0;
    virtual QDateTime now() const = 0;
    // Groups the writes between the two calls (one page's links) into one transaction,
    // stored whole or not at all: once a write of it is refused, its later writes are not
    // run. Nests by count.
    virtual void beginBatch() = 0;
    virtual void endBatch() = 0;
    // A second connection to the same rows, to be used (and destroyed) in one other thread,
    // so that long reads can run beside the window; nothing where the backend has none.
    virtual std::unique_ptr<Store> openAnother() const = 0;

    // The store as a QObject: it tells when the store is destroyed (a QPointer to it goes
    // null) and emits the store's problems.
    virtual QObject *storeObject() = 0;
    // Calls f for every refused write (Store::writeFailed) while context lives.
    QMetaObject::Connection onWriteFailed(QObject *context,
                                          std::function<void(const QString &reason)> f);
    // Calls f when the store cannot be used (Store::storeProblem) while context lives.
    QMetaObject::Connection onStoreProblem(QObject *context,
                                           std::function<void(const QString &message)> f);

protected:
    ~StoreAccess() = default;
};

// A role of a store that may be destroyed before the one who holds it: null once it is.
template <class Role> class StoreRef
{
public:
    StoreRef() = default;
    StoreRef(Role *role) : m_role(role), m_object(role ? role->storeObject() : nullptr) {}
    Role *get() const { return m_object ? m_role : nullptr; }
    Role *operator->() const { return get(); }
    Role &operator*() const { return *get(); }
    explicit operator bool() const { return get() != nullptr; }

private:
    Role *m_role = nullptr;
    QPointer<QObject> m_object;
};
