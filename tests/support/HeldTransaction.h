// Another connection's transaction for the lock tests: it runs its
// statements and then keeps what they took (changed rows, a table read,
// uncommitted DDL, a table reservation) until it is committed or rolled
// back. It connects through the library's own client layer, so a test
// needs no second process to hold a lock.
#pragma once

#include <memory>
#include <string>
#include <vector>

namespace vantrel {
class TIBDatabase;
class TIBSQL;
class TIBTransaction;
}  // namespace vantrel

namespace vantrel::test {

class HeldTransaction {
public:
    // Connects as SYSDBA, starts a transaction with the given parameter
    // lines (read committed by default) and runs the statements in it; a
    // SELECT is fetched to its end and kept open, as a reader that has not
    // finished would keep it.
    HeldTransaction(const std::string &database, const std::vector<std::string> &statements,
                    const std::vector<std::string> &params = {"read_committed", "rec_version", "nowait"});
    ~HeldTransaction();  // rolls back what is still held
    HeldTransaction(const HeldTransaction &) = delete;
    HeldTransaction &operator=(const HeldTransaction &) = delete;

    void Commit();
    void Rollback();

private:
    std::unique_ptr<TIBDatabase> FDatabase;
    std::unique_ptr<TIBTransaction> FTransaction;
    std::vector<std::unique_ptr<TIBSQL>> FQueries;
};

}  // namespace vantrel::test
