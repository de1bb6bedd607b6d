#pragma once
// The product website's host name: the version record's CompanyName and the
// two web links. Plain #define so the resource compiler can read it too.
#define TOVRA_WEBSITE_HOST "www.tovra.cn"
#define TOVRA_WEBSITE_HOST_W L"www.tovra.cn"
