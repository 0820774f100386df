#pragma once
// Umbrello models (XMI 1.2, UML 1.4) written by tests and benchmarks: the
// shapes a test needs (many classes, long generalisation chains, packages
// inside packages, sequence diagrams with odd names) without a fixture file
// per shape. The text is what Umbrello itself writes for such a model, cut
// down to what the reader looks at.

#include <string>
#include <utility>
#include <vector>

namespace telvo::test {

class TXmiText {
public:
    // An object of a sequence diagram: instance name and class id.
    using TObject = std::pair<std::string, std::string>;

    // A class in the Logical View with an operation (without parameters) per
    // name given.
    TXmiText& Class(const std::string& id, const std::string& name, const std::string& stereotype = "FunctionBlock",
                    const std::vector<std::string>& operations = {})
    {
        elements_ += "<UML:Class xmi.id=" + quoted(id) + " name=" + quoted(name) + " stereotype=" + quoted(stereotype) +
                     ">";
        if (!operations.empty()) {
            elements_ += "<UML:Classifier.feature>";
            for (const auto& op : operations)
                elements_ += "<UML:Operation xmi.id=" + quoted(id + "." + op) + " name=" + quoted(op) + "/>";
            elements_ += "</UML:Classifier.feature>";
        }
        elements_ += "</UML:Class>\n";
        return *this;
    }

    // `child` specialises `parent` (class ids).
    TXmiText& Generalization(const std::string& child, const std::string& parent)
    {
        elements_ += "<UML:Generalization xmi.id=" + quoted("g" + std::to_string(++count_)) + " child=" +
                     quoted(child) + " parent=" + quoted(parent) + "/>\n";
        return *this;
    }

    // Any element of the Logical View, written as given.
    TXmiText& Element(const std::string& xml)
    {
        elements_ += xml;
        return *this;
    }

    // The Logical View's class diagram showing these classes.
    TXmiText& ClassDiagram(const std::vector<std::string>& classIds)
    {
        diagrams_ += "<diagram xmi.id=" + quoted("d" + std::to_string(++count_)) + " name=\"classes\" type=\"1\"><widgets>";
        for (const auto& id : classIds)
            diagrams_ += "<classwidget xmi.id=" + quoted(id) + "/>";
        diagrams_ += "</widgets><messages/></diagram>\n";
        return *this;
    }

    // A sequence diagram of the Logical View with these objects and a
    // message from each object to the next, calling the receiver's
    // operation `operation` when one is named.
    TXmiText& SequenceDiagram(const std::string& name, const std::vector<TObject>& objects,
                              const std::string& operation = "")
    {
        const std::string d = "d" + std::to_string(++count_);
        diagrams_ += "<diagram xmi.id=" + quoted(d) + " name=" + quoted(name) + " type=\"3\"><widgets>";
        for (size_t i = 0; i < objects.size(); ++i)
            diagrams_ += "<objectwidget localid=" + quoted(d + "w" + std::to_string(i)) + " xmi.id=" +
                         quoted(objects[i].second) + " instancename=" + quoted(objects[i].first) + "/>";
        diagrams_ += "</widgets><messages>";
        for (size_t i = 0; i + 1 < objects.size(); ++i)
            diagrams_ += "<messagewidget widgetaid=" + quoted(d + "w" + std::to_string(i)) + " widgetbid=" +
                         quoted(d + "w" + std::to_string(i + 1)) +
                         (operation.empty() ? std::string() : " operation=" + quoted(objects[i + 1].second + "." + operation)) +
                         " y=" + quoted(std::to_string(10 * (i + 1))) + "/>";
        diagrams_ += "</messages></diagram>\n";
        return *this;
    }

    std::string Text() const
    {
        return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
               "<XMI xmi.version=\"1.2\" xmlns:UML=\"http://schema.omg.org/spec/UML/1.4\">\n"
               "<XMI.header><XMI.documentation><XMI.exporter>umbrello uml modeller http://umbrello.kde.org"
               "</XMI.exporter></XMI.documentation></XMI.header>\n"
               "<XMI.content><UML:Model xmi.id=\"m1\" name=\"UML Model\"><UML:Namespace.ownedElement>\n"
               "<UML:Model xmi.id=\"Logical View\" name=\"Logical View\"><UML:Namespace.ownedElement>\n" +
               elements_ + "</UML:Namespace.ownedElement>\n<XMI.extension xmi.extender=\"umbrello\"><diagrams>\n" +
               diagrams_ +
               "</diagrams></XMI.extension></UML:Model>\n"
               "</UML:Namespace.ownedElement></UML:Model></XMI.content></XMI>\n";
    }

    // An attribute value in double quotes; line breaks and other control
    // characters as character references, as Umbrello writes them.
    static std::string quoted(const std::string& value)
    {
        std::string out = "\"";
        for (const char c : value) {
            switch (c) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '"': out += "&quot;"; break;
            default:
                if (static_cast<unsigned char>(c) < 0x20)
                    out += "&#" + std::to_string(int(c)) + ";";
                else
                    out += c;
            }
        }
        return out + "\"";
    }

private:
    std::string elements_, diagrams_;
    int count_ = 0;
};

} // namespace telvo::test
