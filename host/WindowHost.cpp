#include "host/WindowHost.h"

#define GLFW_INCLUDE_NONE
#include <GL/gl.h>
#include <GLFW/glfw3.h>
#include <backends/imgui_impl_glfw.h>
#include <backends/imgui_impl_opengl3.h>
#include <imgui.h>
#include <stb_image_write.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include <fmt/format.h>
#include <mutex>
#include <utility>

namespace host {
namespace {

// About one frame of a 60 Hz screen: how long an idle window waits for events.
constexpr double kIdleWaitSeconds = 1.0 / 60.0;

// GLFW reports failures through a callback; the last one explains a failed call.
std::mutex glfw_error_mutex;
std::string glfw_error;

void RememberGlfwError(int /*code*/, const char* description) {
  std::lock_guard lock(glfw_error_mutex);
  glfw_error = description != nullptr ? description : "unknown GLFW error";
}

std::string LastGlfwError() {
  std::lock_guard lock(glfw_error_mutex);
  return glfw_error.empty() ? "unknown GLFW error" : glfw_error;
}

}  // namespace

std::unique_ptr<WindowHost> WindowHost::Open(SettingsDriver* driver, const std::string& title,
                                             std::string* error) {
  glfwSetErrorCallback(RememberGlfwError);
  if (glfwInit() == GLFW_FALSE) {
    *error = "--window: cannot open a window: " + LastGlfwError();
    return nullptr;
  }
  // OpenGL 3.0 with GLSL 1.30: what the renderer backend needs, and what
  // Mesa's software renderer offers under a virtual X server.
  glfwWindowHint(GLFW_CONTEXT_VERSION_MAJOR, 3);
  glfwWindowHint(GLFW_CONTEXT_VERSION_MINOR, 0);
  glfwWindowHint(GLFW_RESIZABLE, GLFW_TRUE);
  GLFWwindow* window = glfwCreateWindow(kWidth, kHeight, title.c_str(), nullptr, nullptr);
  if (window == nullptr) {
    *error = "--window: cannot open a window: " + LastGlfwError();
    glfwTerminate();
    return nullptr;
  }
  glfwMakeContextCurrent(window);
  // Frames are paced by waiting for events, not by the screen's refresh.
  glfwSwapInterval(0);

  ImGui::SetCurrentContext(driver->context());
  if (!ImGui_ImplGlfw_InitForOpenGL(window, true)) {
    *error = "--window: Dear ImGui's GLFW backend failed to start";
    glfwDestroyWindow(window);
    glfwTerminate();
    return nullptr;
  }
  if (!ImGui_ImplOpenGL3_Init("#version 130")) {
    *error = "--window: Dear ImGui's OpenGL 3 backend failed to start";
    ImGui_ImplGlfw_Shutdown();
    glfwDestroyWindow(window);
    glfwTerminate();
    return nullptr;
  }
  std::unique_ptr<WindowHost> host(new WindowHost(driver, window));
  driver->SetBackend(host.get());
  return host;
}

WindowHost::WindowHost(SettingsDriver* driver, GLFWwindow* window)
    : driver_(driver), window_(window), work_([] { glfwPostEmptyEvent(); }) {}

WindowHost::~WindowHost() {
  driver_->SetBackend(nullptr);
  ImGui::SetCurrentContext(driver_->context());
  ImGui_ImplOpenGL3_Shutdown();
  ImGui_ImplGlfw_Shutdown();
  glfwDestroyWindow(window_);
  glfwTerminate();
}

void WindowHost::Run(const std::function<void()>& on_close) {
  while (!finished_.load(std::memory_order_acquire)) {
    if (!closed_ && glfwWindowShouldClose(window_) == GLFW_TRUE) {
      closed_ = true;
      glfwHideWindow(window_);
      on_close();
    }
    if (work_.RunPending()) {
      glfwPollEvents();
      continue;
    }
    if (!closed_) driver_->DrawIdle();
    glfwWaitEventsTimeout(kIdleWaitSeconds);
  }
}

void WindowHost::Finish() {
  finished_.store(true, std::memory_order_release);
  glfwPostEmptyEvent();
}

void WindowHost::NewFrame() {
  ImGui_ImplOpenGL3_NewFrame();
  ImGui_ImplGlfw_NewFrame();
}

void WindowHost::Present(Image* capture) {
  int width = 0, height = 0;
  glfwGetFramebufferSize(window_, &width, &height);
  glViewport(0, 0, width, height);
  glClearColor(0.10f, 0.10f, 0.12f, 1.0f);
  glClear(GL_COLOR_BUFFER_BIT);
  ImGui_ImplOpenGL3_RenderDrawData(ImGui::GetDrawData());
  if (capture != nullptr) {
    capture->width = width;
    capture->height = height;
    const std::size_t row = static_cast<std::size_t>(width) * 3;
    std::vector<unsigned char> bottom_up(row * height);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadBuffer(GL_BACK);
    glReadPixels(0, 0, width, height, GL_RGB, GL_UNSIGNED_BYTE, bottom_up.data());
    // OpenGL counts rows from the bottom, image files from the top.
    capture->rgb.resize(bottom_up.size());
    for (int y = 0; y < height; ++y) {
      std::memcpy(capture->rgb.data() + row * y, bottom_up.data() + row * (height - 1 - y), row);
    }
  }
  glfwSwapBuffers(window_);
}

bool WindowHost::SavePng(const Image& image, const std::string& path, std::string* error) {
  if (image.width <= 0 || image.height <= 0 ||
      image.rgb.size() != static_cast<std::size_t>(image.width) * image.height * 3) {
    *error = "the window gave no picture";
    return false;
  }
  // Opened and written here rather than by stb, which gives no reason when
  // it fails.
  struct Output {
    std::FILE* file = nullptr;
    int error = 0;  // errno of the first failed write
  } out;
  out.file = std::fopen(path.c_str(), "wb");
  if (out.file == nullptr) {
    *error = fmt::format("cannot write {}: {}", path, std::strerror(errno));
    return false;
  }
  const auto write = [](void* context, void* data, int size) {
    auto* target = static_cast<Output*>(context);
    if (target->error == 0 && std::fwrite(data, 1, static_cast<std::size_t>(size), target->file) !=
                                  static_cast<std::size_t>(size)) {
      target->error = errno != 0 ? errno : EIO;
    }
  };
  const int encoded = stbi_write_png_to_func(write, &out, image.width, image.height, 3,
                                             image.rgb.data(), image.width * 3);
  if (std::fclose(out.file) != 0 && out.error == 0) out.error = errno != 0 ? errno : EIO;
  if (encoded == 0) {
    *error = fmt::format("cannot write {}: the picture could not be encoded", path);
    return false;
  }
  if (out.error != 0) {
    *error = fmt::format("cannot write {}: {}", path, std::strerror(out.error));
    return false;
  }
  return true;
}

}  // namespace host
