// A PayPal provider environment and iterator for catalogue tests, with the
// diagnostics the provider posts collected instead of sent to a handle.
#pragma once

#include <string>
#include <vector>

#include "sqi/catalog.h"
#include "sqi/session.h"

struct PostedError {
    std::string sqlstate, message;
    int32_t native;
};

inline std::vector<PostedError> &posted_errors() {
    static std::vector<PostedError> errors;
    return errors;
}

inline int collect_service(DalRecord *, int code, DalServiceRequest *r) {
    if (code == DAL_SERVICE_POST_ERROR)
        posted_errors().push_back(
            {r->sqlstate ? r->sqlstate : "", r->message ? r->message : "", r->native});
    return DAL_OK;
}

struct CatalogEnv {
    PaypalEnv env{};
    PaypalIterator it{};
    CatalogEnv() {
        env.link.callback = collect_service;
        env.odbc_version = 3;
        it.env = &env;
        posted_errors().clear();
    }
};
