// lineview's HTTP side: the page, Chart.js, the JSON API and the live feed,
// behind logins when a users file is given. Every answer carries a policy
// that lets the page load only from its own origin; every request is
// bounded in size and rate.
#pragma once

#include "lineapi.h"
#include "loginthrottle.h"
#include "ratelimit.h"
#include "runfeed.h"
#include "sessions.h"
#include "userfile.h"
#include "viewoptions.h"

#include <atomic>
#include <memory>
#include <string>

namespace httplib {
class Server;
struct Request;
struct Response;
}

class WebServer {
public:
    // users is null when no login is asked.
    WebServer(const ViewOptions &options, const LineApi &api, RunFeed &feed, const UserFile *users);
    ~WebServer();

    // Binds the address; false with *error.
    bool bind(QString *error);
    // Serves until stop(); blocks.
    void serve();
    void stop();

private:
    void route();
    bool admit(const httplib::Request &request, httplib::Response &response);
    std::string sessionUser(const httplib::Request &request);
    void login(const httplib::Request &request, httplib::Response &response);
    void logout(const httplib::Request &request, httplib::Response &response);
    void session(const httplib::Request &request, httplib::Response &response);
    void liveFeed(const httplib::Request &request, httplib::Response &response);
    std::string sessionCookie(const std::string &token, long long maxAgeSeconds) const;

    const ViewOptions &options;
    const LineApi &api;
    RunFeed &feed;
    const UserFile *users;
    std::unique_ptr<httplib::Server> http;
    RateLimit rates;
    Sessions sessions;
    LoginThrottle throttle;
    std::atomic<int> streams{0};
    std::string page, script, style, chartJs;
};
