#include <string>

#include "serve/serve_loop.h"

namespace ostrivane {

namespace {

void send(httplib::Response& response, const HttpReply& reply) {
    response.status = reply.status;
    for (const auto& [name, value] : reply.headers) {
        response.set_header(name, value);
    }
    response.set_content(reply.body, reply.contentType.c_str());
}

std::string reasonFor(int status) {
    switch (status) {
        case 404:
            return "Not found: this exporter serves /, /metrics, /probe and /healthz.";
        case 405:
            return "Method not allowed: use GET.";
        case 413:
            return "Request too large: a request has no body here.";
        case 414:
            return "Bad request: the request line is too long.";
        default:
            return "Bad request: the request could not be read.";
    }
}

}  // namespace

void installRoutes(httplib::Server& server, Exporter& exporter) {
    server.Get("/", [&exporter](const httplib::Request&, httplib::Response& response) {
        send(response, exporter.frontPage());
    });
    server.Get("/metrics",
               [&exporter](const httplib::Request& request, httplib::Response& response) {
                   send(response, exporter.metrics(request.get_header_value("Accept")));
               });
    server.Get("/probe", [&exporter](const httplib::Request& request, httplib::Response& response) {
        const QueryParameters parameters(request.params.begin(), request.params.end());
        send(response, exporter.probe(parameters));
    });
    server.Get("/healthz", [&exporter](const httplib::Request&, httplib::Response& response) {
        send(response, exporter.health());
    });
    server.set_error_handler([&exporter](const httplib::Request&, httplib::Response& response) {
        if (!response.body.empty()) {
            return;
        }
        if (response.status == 400) {
            exporter.countBadRequest();
        }
        response.set_content(reasonFor(response.status) + "\n", "text/plain; charset=utf-8");
    });
}

}  // namespace ostrivane
