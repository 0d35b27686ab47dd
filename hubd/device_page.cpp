#include "hubd/device_page.h"

#include <map>
#include <variant>

#include "hubd/oauth.h"
#include "hubd/web_session.h"

namespace {

using Form = std::map<std::string, std::string>;

constexpr size_t k_max_typed_code = 32;

Reply html_page(int status, const std::string& title, const std::string& body,
                const WebSession& session) {
  Reply reply{status,
              "<!DOCTYPE html>\n<html lang=\"ru\"><head><meta charset=\"utf-8\">"
              "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">"
              "<title>" +
                  html_escape(title) +
                  " — Orrery Hub</title><style>body{font-family:sans-serif;max-width:32em;"
                  "margin:3em auto;padding:0 1em;line-height:1.5}label,input{display:block;"
                  "margin:.3em 0}button{margin:.8em .5em 0 0;padding:.4em 1.2em}"
                  ".code{font-family:monospace;font-size:1.4em;letter-spacing:.1em}</style>"
                  "</head><body><h1>" +
                  html_escape(title) + "</h1>\n" + body + "</body></html>\n",
              "text/html; charset=utf-8",
              {{"Cache-Control", "no-store"},
               {"X-Frame-Options", "DENY"},
               {"X-Content-Type-Options", "nosniff"},
               {"Referrer-Policy", "no-referrer"},
               {"Content-Security-Policy",
                "default-src 'none'; style-src 'unsafe-inline'; form-action 'self'; "
                "frame-ancestors 'none'; base-uri 'none'"}}};
  if (!session.set_cookie.empty()) reply.headers.emplace_back("Set-Cookie", session.set_cookie);
  return reply;
}

std::string hidden(const std::string& name, std::string_view value) {
  return "<input type=\"hidden\" name=\"" + name + "\" value=\"" + html_escape(value) + "\">";
}

std::string paragraph(const std::string& html) { return "<p>" + html + "</p>\n"; }

std::string typed_code(std::string_view typed) {
  return std::string(typed.substr(0, k_max_typed_code));
}

Reply sign_in_page(int status, const WebSession& session, std::string_view user_code,
                   const std::string& problem = {}) {
  std::string body = (problem.empty() ? "" : paragraph("<strong>" + problem + "</strong>")) +
                     paragraph("Войдите, чтобы подтвердить вход программы orrery.") +
                     "<form method=\"post\" action=\"/login\">" +
                     hidden("csrf_token", session.csrf_token) +
                     hidden("user_code", typed_code(user_code)) +
                     "<label for=\"username\">Имя пользователя</label>"
                     "<input id=\"username\" name=\"username\" autocomplete=\"username\" required>"
                     "<label for=\"password\">Пароль</label>"
                     "<input id=\"password\" name=\"password\" type=\"password\" "
                     "autocomplete=\"current-password\" required>"
                     "<button type=\"submit\">Войти</button></form>\n";
  return html_page(status, "Вход", body, session);
}

Reply code_entry_page(const WebSession& session) {
  std::string body =
      paragraph("Вы вошли как <strong>" + html_escape(session.user->name) + "</strong>.") +
      "<form method=\"get\" action=\"/device\">"
      "<label for=\"user_code\">Код из терминала</label>"
      "<input id=\"user_code\" name=\"user_code\" class=\"code\" autocomplete=\"off\" "
      "required><button type=\"submit\">Продолжить</button></form>\n";
  return html_page(200, "Подтверждение входа", body, session);
}

Reply message_page(int status, const std::string& title, const std::string& text,
                   const WebSession& session) {
  return html_page(status, title, paragraph(text), session);
}

Reply limited_page(const WebSession& session, int64_t seconds, const std::string& what) {
  Reply reply = message_page(
      429, "Слишком много попыток",
      what + " Повторите через " + std::to_string((seconds + 59) / 60) + " мин.", session);
  reply.headers.emplace_back("Retry-After", std::to_string(seconds));
  return reply;
}

Reply stale_form_page(const WebSession& session) {
  return message_page(403, "Форма устарела",
                      "Форма устарела или отправлена не с этой страницы. Откройте страницу "
                      "заново и повторите.",
                      session);
}

Reply bad_code_page(const WebSession& session, DeviceLookup lookup) {
  const std::string what = lookup == DeviceLookup::expired ? "Срок действия кода истёк."
                                                           : "Код не найден или уже использован.";
  return html_page(400, "Код недействителен",
                   paragraph(what + " Запустите orrery login снова, чтобы получить новый код.") +
                       paragraph("<a href=\"/device\">Ввести другой код</a>"),
                   session);
}

Reply confirm_page(const WebSession& session, const PendingDevice& device) {
  std::string body =
      paragraph("Программа «" + html_escape(device.client_name) + "» (клиент " +
                html_escape(device.client_id) + ") просит доступ к учётной записи <strong>" +
                html_escape(session.user->name) + "</strong>.") +
      paragraph(
          "Права: полный доступ от вашего имени — чтение и запись ваших репозиториев, "
          "включая отправку изменений.") +
      (device.scope.empty()
           ? ""
           : paragraph("Запрошенная область: <code>" + html_escape(device.scope) + "</code>.")) +
      paragraph("Код: <span class=\"code\">" + format_user_code(device.user_code) +
                "</span>. Разрешайте, только если этот код показан в вашем терминале.") +
      "<form method=\"post\" action=\"/device\">" + hidden("csrf_token", session.csrf_token) +
      hidden("user_code", device.user_code) +
      "<button type=\"submit\" name=\"action\" value=\"approve\">Разрешить</button>"
      "<button type=\"submit\" name=\"action\" value=\"deny\">Отклонить</button></form>\n";
  return html_page(200, "Разрешить доступ?", body, session);
}

std::vector<std::string> code_buckets(const WebRequest& request, const WebSession& session) {
  return {"code-peer:" + request.peer, "code-session:" + std::to_string(session.id)};
}

// Looks a typed code up within the attempt limit: the pending device, or
// the refusal page (counting the failure).
std::variant<PendingDevice, Reply> look_up_code(const HubContext& hub, const WebRequest& request,
                                                const WebSession& session, std::string_view typed) {
  const std::vector<std::string> buckets = code_buckets(request, session);
  if (int64_t seconds = seconds_limited(hub.db, buckets)) {
    return limited_page(session, seconds, "Слишком много неверных кодов.");
  }
  std::optional<std::string> code = normalize_user_code(typed);
  PendingDevice device;
  const DeviceLookup lookup =
      code ? find_pending_device(hub.db, *code, device) : DeviceLookup::unknown;
  if (lookup == DeviceLookup::pending) return device;
  record_failed_attempt(hub.db, buckets);
  return bad_code_page(session, lookup);
}

Reply code_page(const HubContext& hub, const WebRequest& request, const WebSession& session,
                std::string_view typed) {
  if (typed.empty()) return code_entry_page(session);
  std::variant<PendingDevice, Reply> found = look_up_code(hub, request, session, typed);
  if (Reply* refused = std::get_if<Reply>(&found)) return *refused;
  return confirm_page(session, std::get<PendingDevice>(found));
}

std::optional<Form> read_form(const WebRequest& request) {
  if (!has_media_type(request.content_type, "application/x-www-form-urlencoded")) {
    return std::nullopt;
  }
  return parse_form(request.body);
}

std::string field(const Form& form, const std::string& name) {
  auto found = form.find(name);
  return found == form.end() ? std::string() : found->second;
}

Reply bad_request_page(const WebSession& session) {
  return message_page(400, "Неверный запрос", "Форма заполнена неверно.", session);
}

}  // namespace

Reply serve_device_page(const HubContext& hub, const WebRequest& request) {
  WebSession session = open_session(hub, request);
  auto typed = request.query.find("user_code");
  const std::string code = typed == request.query.end() ? "" : typed->second;
  if (!session.user) return sign_in_page(200, session, code);
  return code_page(hub, request, session, code);
}

Reply serve_device_decision(const HubContext& hub, const WebRequest& request) {
  WebSession session = open_session(hub, request);
  std::optional<Form> form = read_form(request);
  if (!form) return bad_request_page(session);
  if (!session.user) return sign_in_page(401, session, field(*form, "user_code"));
  if (!csrf_matches(session, field(*form, "csrf_token"))) return stale_form_page(session);
  const std::string action = field(*form, "action");
  if (action != "approve" && action != "deny") return bad_request_page(session);

  std::variant<PendingDevice, Reply> found =
      look_up_code(hub, request, session, field(*form, "user_code"));
  if (Reply* refused = std::get_if<Reply>(&found)) return *refused;
  const bool approve = action == "approve";
  if (!decide_device(hub.db, std::get<PendingDevice>(found).id, *session.user,
                     approve ? DeviceDecision::approve : DeviceDecision::deny)) {
    return bad_code_page(session, DeviceLookup::expired);
  }
  return approve
             ? message_page(200, "Вход разрешён", "Вернитесь в терминал: orrery завершит вход сам.",
                            session)
             : message_page(200, "Вход отклонён", "Программа orrery не получит доступа.", session);
}

Reply serve_sign_in(const HubContext& hub, const WebRequest& request) {
  WebSession session = open_session(hub, request);
  std::optional<Form> form = read_form(request);
  if (!form) return bad_request_page(session);
  if (!csrf_matches(session, field(*form, "csrf_token"))) return stale_form_page(session);
  const std::string name = field(*form, "username");
  const std::string code = field(*form, "user_code");
  const std::vector<std::string> buckets = {"login-peer:" + request.peer,
                                            "login-user:" + name_key(name)};
  if (int64_t seconds = seconds_limited(hub.db, buckets)) {
    return limited_page(session, seconds, "Слишком много неудачных попыток входа.");
  }
  std::optional<User> user = check_password(hub.db, name, field(*form, "password"));
  if (!user) {
    record_failed_attempt(hub.db, buckets);
    return sign_in_page(401, session, code, "Неверное имя пользователя или пароль.");
  }
  return code_page(hub, request, sign_in(hub, session, *user), code);
}
