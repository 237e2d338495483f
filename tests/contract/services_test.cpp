// Contract of the service manager (the Windows NT family; Wine's works too): connect,
// create, stop, delete, and the codes for an existing, stopped, deleted or missing service.
#include "contract/contract_support.h"

namespace {

using ServiceContract = ContractTest;

const char kServiceName[] = "KtmContractService";

// Removes a service that an interrupted run left behind.
void RemoveLeftover(ServiceHandle manager) {
  ServiceHandle old = Sys().ServiceOpen(manager, kServiceName, kServiceDelete);
  if (old == 0) return;
  Sys().ServiceDelete(old);
  Sys().ServiceClose(old);
}

TEST_F(ServiceContract, CreateStopDelete) {
  ServiceHandle connect = Sys().ScmOpen(kScManagerConnect);
  ASSERT_NE(connect, 0u);
  EXPECT_EQ(Sys().ServiceOpen(connect, "KtmNoSuchService", kServiceStop), 0u);
  EXPECT_EQ(Sys().LastError(), static_cast<uint32_t>(kErrServiceDoesNotExist));
  Sys().ServiceClose(connect);

  // Creating needs more than a connection (an administrator on Windows).
  ServiceHandle manager = Sys().ScmOpen(kScManagerAllAccess);
  ASSERT_NE(manager, 0u);
  RemoveLeftover(manager);

  std::string binary = PathOf("ktmsvc.exe");
  ServiceHandle created = Sys().ServiceCreate(manager, kServiceName, binary.c_str());
  ASSERT_NE(created, 0u) << Sys().LastError();
  EXPECT_EQ(Sys().ServiceCreate(manager, kServiceName, binary.c_str()), 0u);
  EXPECT_EQ(Sys().LastError(), static_cast<uint32_t>(kErrServiceExists));
  Sys().ServiceClose(created);

  ServiceHandle service =
      Sys().ServiceOpen(manager, kServiceName, kServiceStop | kServiceDelete | kServiceQueryStatus);
  ASSERT_NE(service, 0u);
  EXPECT_EQ(Sys().ServiceStop(service), kErrServiceNotActive);  // created stopped
  EXPECT_EQ(Sys().ServiceDelete(service), 0);
  EXPECT_EQ(Sys().ServiceDelete(service), kErrServiceMarkedForDelete);
  Sys().ServiceClose(service);

  // Once its last handle is closed a deleted service is gone.
  EXPECT_EQ(Sys().ServiceOpen(manager, kServiceName, kServiceStop), 0u);
  EXPECT_EQ(Sys().LastError(), static_cast<uint32_t>(kErrServiceDoesNotExist));
  Sys().ServiceClose(manager);
}

}  // namespace
